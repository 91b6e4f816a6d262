// The alarm check the main window runs when it is activated and every 3 seconds: each due alarm
// is announced in "Zegarek" with the alarm sound playing, one after another.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSoundEffect;
class QTimer;
class QWidget;

namespace pulpex {

// The sound played while "Zegarek" is open.
class TAlarmSound {
  public:
    virtual ~TAlarmSound() = default;
    // Prepares `file`; false when it cannot be played (then Play is skipped).
    virtual bool Open(const QString& file) = 0;
    // Starts playing, over and over until Stop.
    virtual void Play() = 0;
    virtual void Stop() = 0;
};

// The sound through QSoundEffect. A missing file is a failed Open; without a sound device the
// effect stays silent.
class TSoundEffectAlarm : public TAlarmSound {
  public:
    TSoundEffectAlarm();
    ~TSoundEffectAlarm() override;
    bool Open(const QString& file) override;
    void Play() override;
    void Stop() override;
    QSoundEffect* Effect() const { return effect_.get(); }

  private:
    std::unique_ptr<QSoundEffect> effect_;
};

// Tells the windows that show alarms that one was added, changed or deleted elsewhere, so that
// their lists follow at once.
class TAlarmNotifier : public QObject {
    Q_OBJECT
  signals:
    void Changed();
};
TAlarmNotifier& AlarmNotifier();

class TAlarmCheck : public QObject {
    Q_OBJECT
  public:
    static constexpr int kInterval = 3000;

    // `owner` (the main window) owns the check and is the owner of every "Zegarek".
    explicit TAlarmCheck(QWidget* owner);
    ~TAlarmCheck() override;

    // Announces every alarm due now, one "Zegarek" after another, then starts the timer.
    // Nothing happens while a check is running already.
    void CheckAlarms();

    // Timer1: 3000 ms, off until the first check; its tick runs CheckAlarms.
    QTimer* timer() const { return timer_; }
    bool Checking() const { return checking_; }

    // The sound (QSoundEffect unless another is set); never null.
    void SetSound(std::unique_ptr<TAlarmSound> sound);
    TAlarmSound* Sound() const { return sound_.get(); }
    // MainDir + "alarm.wav".
    static QString SoundFile();
    // The workstation's file of the alarms closed today ($XDG_CONFIG_HOME/pulpex/).
    static QString DismissedFile();

    // The time the check compares with (now unless set).
    void SetClock(std::function<QDateTime()> clock);

  private:
    QWidget* owner_;
    QTimer* timer_;  // child
    std::unique_ptr<TAlarmSound> sound_;
    std::function<QDateTime()> clock_;
    bool checking_ = false;
};

}  // namespace pulpex

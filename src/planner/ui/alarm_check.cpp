#include "planner/ui/alarm_check.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "core/prompts.h"
#include "core/system.h"
#include "core/utils.h"
#include "planner/alarms.h"
#include "planner/ui/d_budzik.h"
#include "tables/globals.h"

namespace pulpex {

// ---------------------------------------------------------------- TSoundEffectAlarm

TSoundEffectAlarm::TSoundEffectAlarm() = default;
TSoundEffectAlarm::~TSoundEffectAlarm() = default;

bool TSoundEffectAlarm::Open(const QString& file) {
    if (!QFileInfo(file).isFile()) return false;
    if (!effect_) {
        effect_ = std::make_unique<QSoundEffect>();
        effect_->setLoopCount(QSoundEffect::Infinite);
    }
    const QUrl url = QUrl::fromLocalFile(file);
    if (effect_->source() != url) effect_->setSource(url);
    return effect_->status() != QSoundEffect::Error;
}

void TSoundEffectAlarm::Play() {
    // Loading is asynchronous; a play asked for before it ends starts when it has loaded.
    if (effect_) effect_->play();
}

void TSoundEffectAlarm::Stop() {
    if (effect_) effect_->stop();
}

TAlarmNotifier& AlarmNotifier() {
    static TAlarmNotifier notifier;
    return notifier;
}

// ---------------------------------------------------------------- TAlarmCheck

TAlarmCheck::TAlarmCheck(QWidget* owner)
    : QObject(owner),
      owner_(owner),
      timer_(new QTimer(this)),
      sound_(std::make_unique<TSoundEffectAlarm>()),
      clock_([] { return QDateTime::currentDateTime(); }) {
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(kInterval);
    connect(timer_, &QTimer::timeout, this, &TAlarmCheck::CheckAlarms);
}

TAlarmCheck::~TAlarmCheck() = default;

void TAlarmCheck::SetSound(std::unique_ptr<TAlarmSound> sound) {
    sound_ = sound ? std::move(sound) : std::make_unique<TSoundEffectAlarm>();
}

void TAlarmCheck::SetClock(std::function<QDateTime()> clock) {
    clock_ = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
}

QString TAlarmCheck::SoundFile() {
    return System() ? System()->MainDir + QStringLiteral("alarm.wav") : QString();
}

QString TAlarmCheck::DismissedFile() {
    return QFileInfo(UserIniPath()).absolutePath() + QStringLiteral("/zamkniete-alarmy.txt");
}

void TAlarmCheck::CheckAlarms() {
    if (checking_) return;
    checking_ = true;
    timer_->stop();
    // The timer runs again and the guard is cleared whatever happens: an error must not end
    // the alarms for the rest of the run.
    struct Restart {
        TAlarmCheck& c;
        ~Restart() {
            c.timer_->start();
            c.checking_ = false;
        }
    } restart{*this};

    // Around a backup or before the catalogue exists there is nothing to check.
    if (!TblAlarmy || !TblAlarmy->Active()) return;
    // The catalogue's table object is made anew after a restore: it learns the file each time.
    if (TblAlarmy->DismissedFile().isEmpty()) TblAlarmy->SetDismissedFile(DismissedFile());
    Guarded([this] {
        for (int id = TblAlarmy->IsAnyAlert(clock_()); id > 0;
             id = TblAlarmy->IsAnyAlert(clock_())) {
            const bool playing = sound_->Open(SoundFile());
            if (playing) sound_->Play();
            // Closed by the user, it stays quiet today, whatever became of storing it.
            struct Closed {
                TAlarmCheck& c;
                int id;
                ~Closed() {
                    c.sound_->Stop();
                    if (TblAlarmy) TblAlarmy->Dismiss(id, c.clock_().date());
                }
            } closed{*this, id};
            PokazAlarm(owner_, id);
        }
    });
}

}  // namespace pulpex

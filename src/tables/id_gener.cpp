#include "tables/id_gener.h"

#include <chrono>
#include <climits>
#include <random>
#include <thread>

#include "tables/fieldio.h"

namespace pulpex {

namespace {

using Clock = std::chrono::steady_clock;
using State = engine::Table::State;

const QString kTBID_RSC = QStringLiteral("TBID_RSC");
const QString kID = QStringLiteral("ID");
constexpr int kNameSize = 25;

// A peer holds the counter row only for the microseconds of its read-increment-post, so one
// attempt keeps asking for a while before it counts as failed.
constexpr auto kLockPoll = std::chrono::milliseconds(10);
constexpr auto kLockPatience = std::chrono::milliseconds(250);

// The name as the row holds it: the field keeps 25 characters and no trailing blanks, and a
// longer name looked up as it is would never find its own row again.
std::string counterKey(const QString& name) {
    QString key = name.left(kNameSize);
    while (key.endsWith(QLatin1Char(' ')))
        key.chop(1);
    return u8(key);
}

void cancelQuietly(engine::Table& t) {
    try {
        if (t.state() != State::Browse) t.cancel();
    } catch (const EDatabaseError&) {
    }
}

// Leaves nothing pending from an earlier caller, so that edit() below locks the counter row and
// not a row some other code left in edit mode.
void settle(engine::Table& t) {
    if (t.state() != State::Browse) t.post();
}

// Makes the counter's row (holding `initial`) unless it exists. The look-up is repeated under
// the append lock, so that two workstations making the same new counter at once make one row.
// True when the row was made here.
bool ensureRow(engine::Table& t, const std::string& key, int initial) {
    AppendLock lock(t);
    if (t.findKey(engine::Value{key})) return false;
    t.append();
    try {
        t.setString(u8(kTBID_RSC), key);
        t.setInteger(u8(kID), initial);
        t.post();
    } catch (...) {
        cancelQuietly(t);
        throw;
    }
    return true;
}

// Puts the counter's row into edit mode (edit() reads it afresh under its lock), asking again
// every few milliseconds for a short while. False when the row stayed locked, or is gone.
bool lockCounterRow(engine::Table& t, const std::string& key, std::string* error = nullptr) {
    const auto deadline = Clock::now() + kLockPatience;
    for (;;) {
        try {
            if (!t.findKey(engine::Value{key})) {
                if (error) *error = "Nie znaleziono licznika " + key + " w tabeli TBLID";
                return false;
            }
            t.edit();
            return true;
        } catch (const EDatabaseError& e) {
            if (error) *error = e.what();
            if (e.reason() != EDatabaseError::Reason::Locked) return false;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kLockPoll);
    }
}

int randomFactor() {
    thread_local std::minstd_rand gen{std::random_device{}()};
    return std::uniform_int_distribution<int>(1, 3)(gen);
}

}  // namespace

TTbl_ID::TTbl_ID() : TOT_Table(QStringLiteral("TBLID")) {
    IDIndexName = QStringLiteral("TBIDRSID");
    HousekeepingOn = false;
    CreateInfo.SetDefinitions(
        {{kTBID_RSC, TFieldType::String, kNameSize}, {kID, TFieldType::Integer}},
        {{QStringLiteral("TBIDRSID"), kTBID_RSC, {}, ixPrimary | ixUnique}});
}

int TTbl_ID::GenerateID(const QString& name) {
    OpenForCall open(*this);
    engine::Table& t = T();
    settle(t);
    const std::string key = counterKey(name);
    SetIDIndex();
    try {
        if (!t.findKey(engine::Value{key})) ensureRow(t, key, 0);
    } catch (const EDatabaseError&) {
        return 0;  // a name the field cannot hold, or a write that failed
    }

    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (lockCounterRow(t, key)) {
            const std::int64_t last = t.asInteger(u8(kID));
            if (last < 0 || last >= INT_MAX) {
                // Nothing sensible follows: the counter is left for the administrator.
                cancelQuietly(t);
                return 0;
            }
            const int value = static_cast<int>(last) + 1;
            try {
                t.setInteger(u8(kID), value);
                t.post();
            } catch (const EDatabaseError&) {
                cancelQuietly(t);
                return 0;
            }
            return value;
        }
        if (attempt < kAttempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(randomFactor() * retryUnitMs));
    }
    return 0;
}

int TTbl_ID::ConsultnextID(const QString& name) {
    OpenForCall open(*this);
    engine::Table& t = T();
    settle(t);
    SetIDIndex();
    if (!t.findKey(engine::Value{counterKey(name)})) return 1;
    return static_cast<int>(t.asInteger(u8(kID))) + 1;
}

void TTbl_ID::CheckTableID(TOT_Table& table, const QString& name) {
    table.SetIDIndex();
    engine::Table& src = table.T();
    src.last();
    if (src.eof() && src.bof()) return;
    const std::int64_t m = src.asInteger(u8(kID));

    OpenForCall open(*this);
    engine::Table& t = T();
    settle(t);
    const std::string key = counterKey(name);
    SetIDIndex();
    try {
        // A new row starts at m at once: nobody can take a number below it in between.
        if (!t.findKey(engine::Value{key}) && ensureRow(t, key, static_cast<int>(m))) return;
    } catch (const EDatabaseError&) {
        return;
    }
    if (!lockCounterRow(t, key)) return;
    try {
        if (t.asInteger(u8(kID)) < m) {
            t.setInteger(u8(kID), m);
            t.post();
        } else {
            t.cancel();
        }
    } catch (const EDatabaseError&) {
        cancelQuietly(t);
    }
}

void TTbl_ID::SetLastID(const QString& name, int last) {
    if (last < 0)
        throw EDatabaseError(EDatabaseError::Reason::BadValue,
                             "Ostatni numer licznika nie może być ujemny");
    OpenForCall open(*this);
    engine::Table& t = T();
    settle(t);
    const std::string key = counterKey(name);
    if (key.empty())
        throw EDatabaseError(EDatabaseError::Reason::BadValue, "Nie podano nazwy licznika");
    SetIDIndex();
    if (!t.findKey(engine::Value{key}) && ensureRow(t, key, last)) return;

    std::string error;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (lockCounterRow(t, key, &error)) {
            try {
                t.setInteger(u8(kID), last);
                t.post();
            } catch (...) {
                cancelQuietly(t);
                throw;
            }
            return;
        }
        if (attempt < kAttempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(randomFactor() * retryUnitMs));
    }
    throw EDatabaseError(EDatabaseError::Reason::Locked,
                         "Nie można ustawić licznika " + key + ": " + error);
}

}  // namespace pulpex

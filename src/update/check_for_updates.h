#pragma once

#include <cstdint>
#include <functional>

#include <QString>

#include "framework/scoped_replacement.h"

namespace velmora::update {

// The update script's address, for the whole program.
QString UpdateURL();
void SetUpdateURL(const QString& address);

// The address built into the program (VELMORA_UPDATE_URL); empty in a
// build that does not check for updates.
QString BuiltInUpdateURL();

// How often a scheduled check runs, as the options list offers it.
enum UpdateCheckFrequency : uint8_t {
    ufEveryStart = 0,
    ufDaily = 1,
    ufEveryThreeDays = 2,
    ufMondays = 3,
    ufFirstOfMonth = 4,
};

// Whether a check is due at `now`, the last having run at `lastCheck`; both
// local date-times as days since 30 December 1899, the fraction the time of
// day. Unknown frequencies are never due.
bool IsUpdateCheckDue(double now, double lastCheck, uint8_t frequency);

// The local date-time now, in those days; replaceable for tests.
double LocalNow();
using UpdateClock = std::function<double()>;
UpdateClock SetUpdateClock(UpdateClock clock);
using ScopedUpdateClock = framework::ScopedReplacement<UpdateClock, &SetUpdateClock>;

// A CA bundle for the transfers of the scheduled check and the wizard, tests
// only; empty (the program's value): the system's.
QString SetUpdateCaFileForTesting(QString file);
using ScopedUpdateCaFile = framework::ScopedReplacement<QString, &SetUpdateCaFileForTesting>;

// How long a scheduled check may take in all, redirections and the manifest
// included, before it ends as "No updates available at this time.";
// replaceable for tests.
inline constexpr int kStartupCheckDeadlineMs = 20'000;
int StartupCheckDeadline();
int SetStartupCheckDeadline(int milliseconds);
using ScopedStartupCheckDeadline = framework::ScopedReplacement<int, &SetStartupCheckDeadline>;

// Checks for an update when `frequency` says one is due: a small progress
// window meanwhile, the other windows disabled. When one is found, asks
// whether to update now and opens the wizard on Yes. `lastCheck` becomes now
// once a check has run. A non-empty `address` replaces UpdateURL().
void ScheduledUpdateCheck(const QString& address, double& lastCheck, uint8_t frequency);

// Opens the update wizard modally, checking at once. A non-empty `address`
// replaces UpdateURL().
void ShowUpdateWizard(const QString& address);

// A scheduled check (with its question and wizard) is running: the windows
// it disabled must not close either.
bool UpdateCheckRunning();

}  // namespace velmora::update

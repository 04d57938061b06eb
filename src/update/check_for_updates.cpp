#include "update/check_for_updates.h"

#include <cmath>
#include <memory>
#include <utility>

#include <QDate>
#include <QDateTime>
#include <QTime>

#include "framework/desktop_helpers.h"
#include "framework/framework_services.h"
#include "framework/orrin_dialogs.h"
#include "framework/velmora_application.h"
#include "update/update_check_progress.h"
#include "update/update_wizard.h"
#include "update/web_update.h"

namespace velmora::update {

namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;

QString& Address() {
    static QString address;
    return address;
}

QString& CaFile() {
    static QString file;
    return file;
}

int& Deadline() {
    static int deadline = kStartupCheckDeadlineMs;
    return deadline;
}

UpdateClock& Clock() {
    static UpdateClock clock;
    return clock;
}

bool running = false;

QDate DayOf(double dateTime) { return QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(dateTime))); }

// Re-enables what the check disabled and closes its window, however the
// check ends.
class CheckWindowScope {
public:
    CheckWindowScope() : progress_(std::make_unique<TUpdateCheckProgress>()) {
        disabled_ = framework::DisableTaskWindows(progress_.get());
        running = true;
    }
    ~CheckWindowScope() {
        running = false;
        framework::EnableTaskWindows(disabled_);
        progress_->close();
    }
    CheckWindowScope(const CheckWindowScope&) = delete;
    CheckWindowScope& operator=(const CheckWindowScope&) = delete;

    TUpdateCheckProgress& Progress() { return *progress_; }

private:
    std::unique_ptr<TUpdateCheckProgress> progress_;
    framework::TaskWindowList disabled_;
};

}  // namespace

QString UpdateURL() { return Address(); }
void SetUpdateURL(const QString& address) { Address() = address; }

QString BuiltInUpdateURL() { return QStringLiteral(VELMORA_UPDATE_URL); }

QString SetUpdateCaFileForTesting(QString file) {
    std::swap(CaFile(), file);
    return file;
}

double LocalNow() {
    if (Clock()) return Clock()();
    const QDateTime now = QDateTime::currentDateTime();
    return static_cast<double>(QDate(1899, 12, 30).daysTo(now.date())) +
           static_cast<double>(now.time().msecsSinceStartOfDay()) / kMillisecondsPerDay;
}

UpdateClock SetUpdateClock(UpdateClock clock) {
    std::swap(Clock(), clock);
    return clock;
}

bool IsUpdateCheckDue(double now, double lastCheck, uint8_t frequency) {
    switch (frequency) {
    case ufEveryStart:
        return true;
    case ufDaily:
        return now > lastCheck + 1.0;
    case ufEveryThreeDays:
        return now > lastCheck + 3.0;
    case ufMondays:
        return DayOf(now).dayOfWeek() == Qt::Monday && std::floor(now) > std::floor(lastCheck);
    case ufFirstOfMonth:
        return DayOf(now).day() == 1 && now > lastCheck;
    default:
        return false;
    }
}

bool UpdateCheckRunning() { return running; }

int StartupCheckDeadline() { return Deadline(); }

int SetStartupCheckDeadline(int milliseconds) { return std::exchange(Deadline(), milliseconds); }

void ScheduledUpdateCheck(const QString& address, double& lastCheck, uint8_t frequency) {
    if (!address.isEmpty()) SetUpdateURL(address);
    TTwWebUpdate webUpdate;
    webUpdate.ProductInfo.SetURL(UpdateURL());
    webUpdate.Options = {uoOverwrite};
    webUpdate.ProductInfo.DateFormat = QStringLiteral("dd/mm/yyyy");
    webUpdate.ProductInfo.DateSeparator = u'/';
    webUpdate.ProductInfo.Version.clear();
    webUpdate.ProductInfo.VersionFormat = vfFileVersion;
    webUpdate.CaFileForTesting = CaFile();
    // Unattended: the whole check, redirections included, ends in time.
    webUpdate.CheckDeadlineMs = StartupCheckDeadline();

    if (!IsUpdateCheckDue(LocalNow(), lastCheck, frequency)) return;
    {
        CheckWindowScope scope;
        TUpdateCheckProgress& progress = scope.Progress();
        // The close box ends the check at once: a server that does not
        // answer must not hold the program.
        bool closed = false;
        progress.OnCloseRequested = [&] {
            closed = true;
            webUpdate.Cancel();
        };
        progress.pbCheckingForUpdates->SetAnimate(true);
        progress.show();
        progress.repaint();

        const bool found = webUpdate.CheckForUpdates();
        progress.OnCloseRequested = nullptr;
        if (closed) {
            // Asked to end: nothing more to say.
        } else if (found) {
            progress.lblBottom->setText(QStringLiteral("New Update found..."));
            const int answer = framework::CenteredMessageDlg(
                QStringLiteral("A new version of ") + framework::TApplication::Title() +
                    QStringLiteral(" is available as a downloadable update.\n\nWould you like to update now?"),
                framework::MessageKind::Information, {framework::MessageButton::Yes, framework::MessageButton::No});
            if (answer == 6) ShowUpdateWizard(QString());
        } else {
            progress.lblBottom->setText(QStringLiteral("No updates available at this time."));
            progress.pbCheckingForUpdates->SetAnimate(false);
            framework::DelayWithMessages(1000);
        }
    }
    lastCheck = LocalNow();
}

void ShowUpdateWizard(const QString& address) {
    if (!address.isEmpty()) SetUpdateURL(address);
    TfrmUpdateWizard wizard;
    wizard.WebUpdate->ProductInfo.SetURL(UpdateURL());
    wizard.WebUpdate->CaFileForTesting = CaFile();
    wizard.AutoStart = true;
    framework::ShowModal(wizard);
}

}  // namespace velmora::update

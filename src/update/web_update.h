#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "update/http_transfer.h"
#include "update/release_manifest.h"
#include "update/update_reply.h"
#include "update/verified_update.h"
#include "update/update_files.h"
#include "update/web_update_settings.h"
#include "version/version_note.h"

namespace velmora::update {

// Checks a web server for a newer version of the program, downloads it and
// can start it. Runs on the GUI thread: a transfer keeps the windows alive by
// processing pending messages between its steps, so a Cancel button can
// Abort() it. Everything is reported through the events; the component
// shows nothing itself.
//
// In a build with an update key (UpdatePublicKey) the server's META values
// only announce a release: its signed manifest (wuManifest) decides whether
// it is newer, what file is saved, its size and digest, and the arguments it
// is started with. A build without a key downloads but never starts.
class TTwWebUpdate : public QObject {
public:
    explicit TTwWebUpdate(QObject* owner = nullptr);
    ~TTwWebUpdate() override;

    // Settings.
    TTwTagInfo TagInfo;
    TTwProductInfo ProductInfo;
    QString UserName;
    QString Password;
    QString Agent = QStringLiteral("TWebUpdate");
    bool UseWinTempDir = true;  // save into the per-user update folder (UpdateCacheFolder)
    QString TempDirectory = QStringLiteral(".");
    TWuUpdateOptions Options{uoRunUpdate, uoTerminate, uoOverwrite};
    QString TargetFolder;
    uint32_t HTTPPort = 80;  // for http addresses that name no port; low 16 bits
    // Time limits of information and what's-new requests, and of downloads.
    TransferLimits InfoLimits{15'000, 30'000, 60'000, 8, 0, 60'000};
    // At least 1 KiB/s over any minute, and an hour at most.
    TransferLimits DownloadLimits{15'000, 30'000, 3'600'000, 8, 1024, 60'000};
    // A whole CheckForUpdates, redirections and manifest included, ends
    // within this many milliseconds; 0 for no such limit.
    int CheckDeadlineMs = 0;
    // A CA bundle for this component's transfers alone (tests); empty: the system's.
    QString CaFileForTesting;
    // How pending messages are processed between the steps of a transfer.
    std::function<void()> ProcessMessages;

    // Events; Sender is the component.
    using TNotifyEvent = std::function<void(TTwWebUpdate& sender)>;
    TNotifyEvent OnBeforeGetInfo, OnAfterGetInfo, OnDownloadError, OnNoUpdateFound, OnCannotExecute;
    std::function<void(TTwWebUpdate& sender, int32_t total, int32_t downloaded, double kbps, double secondsRemaining)>
        OnDownload;
    std::function<void(TTwWebUpdate& sender, const QString& currentVersion, const QString& newVersion,
                       const QString& currentDate, const QString& newDate, bool& canUpdate)>
        OnUpdateAvailable;
    std::function<void(TTwWebUpdate& sender, bool& showInfo, bool& checkForUpdate, const QString& infoURL)>
        OnBeforeShowInfo;
    std::function<void(TTwWebUpdate& sender, QString& fileName)> OnGetClientFileName;
    std::function<void(TTwWebUpdate& sender, QString& fileName, bool& overwrite)> OnClientFileExists;
    std::function<void(TTwWebUpdate& sender, const QString& fileName)> OnBeforeDownload, OnAfterDownload;
    std::function<void(const QString& elapsedTime)> OnTimer;

    // True when a newer version exists, OnUpdateAvailable accepted it and
    // Download() may follow. False otherwise, also when busy.
    bool CheckForUpdates();
    // Downloads the announced update, checks it against its manifest and,
    // with uoRunUpdate, starts it.
    bool Download();
    // Starts the update the last Download checked, from the descriptor it
    // was checked through, with the manifest's arguments. False, with
    // `reason`, when there is none or it cannot be started.
    bool StartDownloadedUpdate(QString& reason);
    // Opens the reply's wuShowURL in the browser, when it is a web address:
    // only when the user asks for it.
    void OpenShowURL();
    // Runs CheckForUpdates soon on the GUI thread, outside the caller's
    // handler; when the component is busy then, once it is idle again.
    void CheckForUpdatesInThread();
    void Abort() { aborted_ = true; }
    // Abort, and refuse every further request of the running check or
    // download: the user wants it over, not only its current transfer.
    void Cancel() {
        aborted_ = true;
        cancelled_ = busy_;
    }
    bool Busy() const { return busy_; }

    const QString& CurrentVersion() const { return currentVersion_; }
    double BuildDate() const { return buildDate_; }
    const UpdateReply& Reply() const { return reply_; }
    const QString& NewVersion() const { return reply_.NewVersion; }
    const QString& NewDate() const { return reply_.NewDate; }
    const QString& RunParameters() const { return reply_.RunParameters; }
    const QString& ShowURL() const { return reply_.ShowURL; }
    // The manifest the last check verified, if any.
    const std::optional<ReleaseManifest>& Manifest() const { return manifest_; }
    // Updates are decided by signed manifests: the build has a key.
    static bool Signed();
    // Why the last check or download failed, in plain words; empty when it
    // did not, or nothing more than the events tell is known.
    const QString& FailureReason() const { return failure_; }
    const QString& LocalFileName() const { return localFileName_; }
    const QStringList& Lines() const { return lines_; }
    bool Success() const { return success_; }
    int32_t TotalSize() const { return totalSize_; }
    uint32_t BytesRead() const { return bytesRead_; }
    QTimer& Timer() { return timer_; }
    // Why the last downloaded update was not started (OnCannotExecute).
    const QString& CannotExecuteReason() const { return cannotExecuteReason_; }

    // The address of an information ("info") or what's-new ("whatsnew")
    // request, with the parameters PassParameters asks for.
    QString RequestAddress(const QString& checkType) const;
    // The request for a page the user reads (the what's-new page) by the
    // rules of this component's own information requests: TLS verified with
    // its CA, never plain http once https was used, its limits and
    // credentials. False when those rules refuse the address.
    bool PageRequest(const QString& address, HttpTransfer::Request& request) const;
    // Whether the reply announces a newer version than the one installed.
    bool IsNewVersion();

    // The progress figures of DoDownload: rate and time left are 0 while no
    // time has passed; the time left is never negative.
    static void ProgressFigures(int64_t elapsedMs, int64_t total, uint64_t done, double& kbps, double& secondsLeft);
    // Elapsed time as "hh:mm:ss", hours wrapping after 24.
    static QString ElapsedText(int64_t elapsedMs);

    virtual void DoDownload();
    virtual void DoDownloadError();
    virtual void DoBeforeDownload(const QString& fileName);
    virtual void DoAfterDownload(const QString& fileName);
    virtual void DoNoUpdateFound();
    virtual void DoAfterGetInfo();
    virtual void DoBeforeGetInfo();
    virtual void DoCannotExecute();
    virtual bool DoShowInfo();
    virtual QString GetLocalFileName();
    virtual void SplitURL(const QString& url, QString& host, QString& path);

private:
    // Where a transfer's body goes: the reply lines, a part file, or memory.
    struct Target {
        enum Sink { Text, File, Memory } sink = Text;
        bool requireSize = false;
        bool raiseEvents = true;
        PartFile* file = nullptr;
        QByteArray* memory = nullptr;
        int64_t cap = kTextReplyCap;  // Text and Memory
        int64_t exactSize = -1;       // File: the only length accepted
    };
    bool transfer(const QString& address, const Target& target);
    // Empty when the request may be made; else why not, in plain words.
    QString prepareRequest(const QString& address, const TransferLimits& limits, HttpTransfer::Request& request) const;
    void getInfo();
    bool fetchManifest();
    void downloadFile();
    QString saveName() const;
    // The running program's version as file-version words; none when it
    // cannot be read.
    std::optional<VersionWords> installedVersion() const;
    void readCurrentVersion();
    void becomeIdle();
    void fail(const QString& reason);

    // Keeps the component busy for a scope, on every way out of it.
    class BusyScope {
    public:
        explicit BusyScope(TTwWebUpdate& owner);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TTwWebUpdate& owner_;
        std::shared_ptr<bool> alive_;
    };

    bool busy_ = false;
    bool aborted_ = false;
    bool cancelled_ = false;
    bool secure_ = false;           // once a transfer went over https, nothing goes over http
    bool checkRequested_ = false;   // a deferred check waits for the component to be idle
    QTimer timer_;
    int64_t startTick_ = 0;
    QString localFileName_;
    QStringList lines_;
    QString currentVersion_;
    version::FixedFileInfo fileVersionInfo_{};
    bool versionKnown_ = false;  // fileVersionInfo_ was read from the program
    double buildDate_ = 0;
    UpdateReply reply_;
    QString infoAddress_;           // the address the last information came from
    std::optional<ReleaseManifest> manifest_;
    std::unique_ptr<VerifiedUpdate> verified_;
    int64_t deadline_ = 0;          // monotonic ms when the running check must end; 0 none
    QString failure_;
    QString cannotExecuteReason_;
    bool success_ = false;
    int32_t totalSize_ = 0;
    uint32_t chunkSize_ = 0;
    uint32_t bytesRead_ = 0;
    // Lets a transfer notice that a handler it ran deleted the component.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Milliseconds of a monotonic clock: elapsed times never jump with the wall clock.
int64_t MonotonicMilliseconds();

}  // namespace velmora::update

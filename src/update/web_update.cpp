#include "update/web_update.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QStringDecoder>
#include <QUrl>

#include "framework/event_guard.h"
#include "framework/framework_services.h"
#include "framework/shell_open.h"
#include "update/update_address.h"
#include "update/update_files.h"
#include "update/update_launcher.h"
#include "update/version_compare.h"
#include "version/program_version.h"

namespace velmora::update {

namespace {

constexpr int kMaxRedirections = 8;      // META redirections followed in one check


QString ShortDateText(double days) {
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(days)));
    return QLocale().toString(date, QLocale::ShortFormat);
}

}  // namespace

int64_t MonotonicMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TTwWebUpdate::TTwWebUpdate(QObject* owner) : QObject(owner) {
    ProcessMessages = [] { framework::ProcessPendingMessages(); };
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (OnTimer) OnTimer(ElapsedText(MonotonicMilliseconds() - startTick_));
    });
}

TTwWebUpdate::~TTwWebUpdate() {
    aborted_ = true;
    *alive_ = false;
}

void TTwWebUpdate::ProgressFigures(int64_t elapsedMs, int64_t total, uint64_t done, double& kbps, double& secondsLeft) {
    kbps = 0;
    secondsLeft = 0;
    if (elapsedMs <= 0) return;
    kbps = static_cast<double>(done) / (static_cast<double>(elapsedMs) / 1000.0) / 1024.0;
    if (kbps <= 0) return;
    const double left = std::nearbyint((static_cast<double>(total) - static_cast<double>(done)) / 1024.0 / kbps);
    secondsLeft = std::isfinite(left) && left > 0 ? left : 0;
}

QString TTwWebUpdate::ElapsedText(int64_t elapsedMs) {
    const int64_t seconds = std::max<int64_t>(elapsedMs, 0) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void TTwWebUpdate::DoDownload() {
    if (!OnDownload) return;
    double kbps = 0, secondsLeft = 0;
    ProgressFigures(MonotonicMilliseconds() - startTick_, totalSize_, bytesRead_, kbps, secondsLeft);
    OnDownload(*this, totalSize_, static_cast<int32_t>(bytesRead_), kbps, secondsLeft);
}

void TTwWebUpdate::DoDownloadError() {
    if (OnDownloadError) OnDownloadError(*this);
}
void TTwWebUpdate::DoBeforeDownload(const QString& fileName) {
    startTick_ = MonotonicMilliseconds();
    timer_.start();
    if (OnBeforeDownload) OnBeforeDownload(*this, fileName);
}
void TTwWebUpdate::DoAfterDownload(const QString& fileName) {
    timer_.stop();
    if (OnAfterDownload) OnAfterDownload(*this, fileName);
}
void TTwWebUpdate::DoNoUpdateFound() {
    if (OnNoUpdateFound) OnNoUpdateFound(*this);
}
void TTwWebUpdate::DoAfterGetInfo() {
    if (OnAfterGetInfo) OnAfterGetInfo(*this);
}
void TTwWebUpdate::DoBeforeGetInfo() {
    if (OnBeforeGetInfo) OnBeforeGetInfo(*this);
}
void TTwWebUpdate::DoCannotExecute() {
    if (OnCannotExecute) OnCannotExecute(*this);
}

bool TTwWebUpdate::DoShowInfo() {
    bool showInfo = true, checkForUpdate = true;
    if (OnBeforeShowInfo) OnBeforeShowInfo(*this, showInfo, checkForUpdate, RequestAddress(QStringLiteral("whatsnew")));
    return true;
}

QString TTwWebUpdate::GetLocalFileName() {
    if (!TargetFolder.isEmpty() && QFileInfo(TargetFolder).isDir())
        return TargetFolder + (TargetFolder.endsWith(u'/') ? QString() : QStringLiteral("/")) + reply_.ClientFileName;
    if (UseWinTempDir) {
        QString error;
        const QString folder = UpdateCacheFolder(error);
        if (folder.isEmpty()) throw std::runtime_error(error.toStdString());
        return folder + reply_.ClientFileName;
    }
    return TempDirectory + (TempDirectory.endsWith(u'/') ? QString() : QStringLiteral("/")) + reply_.ClientFileName;
}

void TTwWebUpdate::SplitURL(const QString& url, QString& host, QString& path) {
    const UpdateAddress parts = ParseUpdateAddress(url);
    host = parts.host.isEmpty() || parts.port < 0 ? parts.host : parts.host + u':' + QString::number(parts.port);
    path = parts.path;
}

QString TTwWebUpdate::RequestAddress(const QString& checkType) const {
    QString address = (reply_.Redirection.isEmpty() ? ProductInfo.URL() : reply_.Redirection) +
                      QStringLiteral("?checktype=") + checkType;
    if (ProductInfo.PassParameters.Contains(ppVersion)) address += QStringLiteral("&v=") + currentVersion_;
    // Plain ASCII digits whatever the locale: the server reads a number.
    if (ProductInfo.PassParameters.Contains(ppBuildDate))
        address += QStringLiteral("&d=") + QString::number(static_cast<qint64>(std::floor(buildDate_)));
    return address;
}

bool TTwWebUpdate::prepareRequest(const QString& address, const TransferLimits& limits,
                                  HttpTransfer::Request& request) const {
    const bool secure = secure_ || ProductInfo.URL().startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    const QString resolved = ResolveUpdateAddress(address, ProductInfo.URL(), HTTPPort);
    // A name lookup that blocks would freeze the windows: such a libcurl is
    // not used at all.
    if (resolved.isEmpty() || NamesInvalidHost(resolved) || !HttpTransfer::ResolverIsAsynchronous()) return false;
    const bool https = resolved.startsWith(QLatin1String("https://"));
    if (secure && !https) return false;
    request = HttpTransfer::Request();
    request.url = resolved;
    request.userName = UserName;
    request.password = Password;
    request.agent = Agent;
    request.httpsOnly = secure || https;
    request.caFile = CaFileForTesting;
    request.limits = limits;
    return true;
}

bool TTwWebUpdate::PageRequest(const QString& address, HttpTransfer::Request& request) const {
    return prepareRequest(address, InfoLimits, request);
}

bool TTwWebUpdate::transfer(const QString& address, Sink sink, bool requireSize, const QString& fileName,
                            bool raiseEvents, QByteArray* memory) {
    aborted_ = false;
    success_ = false;
    const std::shared_ptr<bool> alive = alive_;
    auto fail = [&](bool event) {
        if (*alive && event && raiseEvents) DoDownloadError();
        return false;
    };
    if (ProductInfo.URL().startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) secure_ = true;
    HttpTransfer::Request request;
    if (!prepareRequest(address, sink == Sink::File ? DownloadLimits : InfoLimits, request)) return fail(true);
    if (request.url.startsWith(QLatin1String("https://"))) secure_ = true;

    ProcessMessages();
    if (!*alive) return false;

    QByteArray text;
    std::unique_ptr<PartFile> part;
    bool handlerFailed = false;
    bytesRead_ = 0;
    HttpTransfer::Hooks hooks;
    hooks.aborted = [&] { return !*alive || aborted_; };
    hooks.pump = [&] {
        if (*alive) ProcessMessages();
    };
    hooks.headersEnded = [&](long status, bool hasLength, int64_t length) {
        if (!*alive) return false;
        if (status < 200 || status > 299) return false;
        if (hasLength && length > kLargestBodyLength) return false;
        if (hasLength) totalSize_ = static_cast<int32_t>(length);
        if (requireSize && !hasLength) return false;
        if (sink == Sink::File) {
            part = std::make_unique<PartFile>(fileName);
            if (!part->Create()) {
                handlerFailed = true;  // no event, as for any file error
                return false;
            }
        }
        return true;
    };
    hooks.piece = [&](const char* data, size_t size) {
        if (!*alive) return false;
        if (sink == Sink::File) {
            if (!part || !part->Write(data, size)) {
                handlerFailed = true;
                return false;
            }
        } else {
            text.append(data, static_cast<qsizetype>(size));
            if (text.size() > kTextReplyCap) return false;
        }
        chunkSize_ = static_cast<uint32_t>(size);
        bytesRead_ += chunkSize_;
        if (raiseEvents) {
            try {
                DoDownload();
            } catch (...) {
                handlerFailed = true;  // a handler's error ends the transfer, silently
                return false;
            }
        }
        return *alive;
    };
    const HttpTransfer::Result result = HttpTransfer::Run(request, hooks);
    if (!*alive) return false;
    if (result.aborted) return false;
    if (handlerFailed) return false;
    const bool ok = result.completed && result.status >= 200 && result.status <= 299;
    if (!ok) return fail(true);
    if (sink == Sink::File) {
        const bool complete = result.hasLength && bytesRead_ > 0 && static_cast<int64_t>(bytesRead_) == result.length;
        if (!complete || !part || !part->Finish()) return fail(true);
    } else if (sink == Sink::Text) {
        // Decoded once, whole.
        lines_ = SplitReplyLines(DecodeReplyText(text));
    } else if (memory) {
        *memory = text;
    }
    success_ = true;
    return true;
}

void TTwWebUpdate::getInfo() {
    const std::shared_ptr<bool> alive = alive_;
    for (int hop = 0; hop <= kMaxRedirections; ++hop) {
        const QString redirection = reply_.Redirection;
        UpdateReply cleared;
        cleared.ClientFileName = reply_.ClientFileName;
        cleared.Redirection = redirection;
        reply_ = cleared;
        const QString address = RequestAddress(QStringLiteral("info"));
        if (!transfer(address, Sink::Text, false, QString(), true) || !*alive) return;
        reply_ = ReadUpdateReply(lines_, TagInfo);
        if (reply_.Redirection.isEmpty() || reply_.Redirection + address.mid(address.indexOf(u'?')) == address) return;
    }
    // An endless chain of redirections: no answer.
    reply_ = UpdateReply();
    success_ = false;
    DoDownloadError();
}

void TTwWebUpdate::readCurrentVersion() {
    switch (ProductInfo.VersionFormat) {
    case vfExternalFileVersion:
    case vfFileVersion: {
        std::filesystem::path file = version::OwnExecutablePath();
        if (ProductInfo.VersionFormat == vfExternalFileVersion) {
            file = QFile::encodeName(ProductInfo.ExternalVersionFileName).toStdString();
            if (!QFileInfo::exists(ProductInfo.ExternalVersionFileName))
                throw std::runtime_error("Invalid version filename: '" + ProductInfo.ExternalVersionFileName.toStdString() + "'");
        }
        version::FixedFileInfo info;
        if (version::ReadFixedFileInfo(file, info)) {
            fileVersionInfo_ = info;
            currentVersion_ = QString::fromStdString(version::FileVersionText(info, 1));
        }
        break;
    }
    default:
        currentVersion_ = ProductInfo.Version;
    }
}

bool TTwWebUpdate::IsNewVersion() {
    bool newer = false;
    switch (ProductInfo.VersionFormat) {
    case vfExternalFileVersion:
    case vfFileVersion: {
        const VersionWords offered = ParseVersionNumber(reply_.NewVersion);
        const uint32_t ms = fileVersionInfo_.dwFileVersionMS, ls = fileVersionInfo_.dwFileVersionLS;
        const bool msKnown = static_cast<int32_t>(offered.ms) >= 0;
        if (msKnown && ms < offered.ms) return true;
        if (msKnown && ms == offered.ms && static_cast<int32_t>(offered.ls) >= 0 && ls < offered.ls) return true;
        break;
    }
    case vfStandard: {
        const int order = CompareStandardVersions(currentVersion_, reply_.NewVersion);
        if (order < 0) return true;
        if (order > 0) {
            DoNoUpdateFound();
            return false;
        }
        break;
    }
    case vfString:
        newer = reply_.NewVersion > currentVersion_;  // UTF-16 code units, ordinal
        break;
    case vfNumber: {
        double current = 0, offered = 0;
        if (!ParseVersionAsNumber(currentVersion_, current) || !ParseVersionAsNumber(reply_.NewVersion, offered)) {
            DoNoUpdateFound();
            return false;
        }
        newer = offered > current;
        break;
    }
    }
    if (!reply_.NewDate.isEmpty()) {
        const double offeredDate =
            ParseServerDate(reply_.NewDate, QStringLiteral("00:00"), ProductInfo.DateFormat, ProductInfo.DateSeparator);
        reply_.NewDate = ShortDateText(offeredDate);
        if (buildDate_ < offeredDate) newer = true;
    }
    if (!newer) DoNoUpdateFound();
    return newer;
}

TTwWebUpdate::BusyScope::BusyScope(TTwWebUpdate& owner) : owner_(owner), alive_(owner.alive_) { owner_.busy_ = true; }

TTwWebUpdate::BusyScope::~BusyScope() {
    // A handler may have deleted the component meanwhile.
    if (!*alive_) return;
    owner_.busy_ = false;
    owner_.becomeIdle();
}

void TTwWebUpdate::becomeIdle() {
    if (!checkRequested_) return;
    checkRequested_ = false;
    CheckForUpdatesInThread();
}

bool TTwWebUpdate::CheckForUpdates() {
    if (busy_) return false;
    BusyScope busy(*this);
    const std::shared_ptr<bool> alive = alive_;
    reply_.Redirection.clear();
    secure_ = false;
    readCurrentVersion();
    buildDate_ = std::floor(version::ImageBuildDate(version::OwnExecutablePath()));

    DoBeforeGetInfo();
    if (!*alive) return false;
    getInfo();
    if (!*alive) return false;
    DoAfterGetInfo();
    if (!*alive) return false;
    if (reply_.ProductName.isEmpty() || reply_.NewVersion.isEmpty()) {
        DoDownloadError();
        success_ = false;
    }
    if (!success_ || !IsNewVersion()) return false;

    bool canUpdate = true;
    if (OnUpdateAvailable)
        OnUpdateAvailable(*this, currentVersion_, reply_.NewVersion, ShortDateText(buildDate_), reply_.NewDate, canUpdate);
    if (!*alive || !canUpdate || !DoShowInfo() || !*alive) return false;
    openShowURL();
    return true;
}

void TTwWebUpdate::openShowURL() {
    // Only a web address, and always as one: never a file the server named.
    if (!reply_.ShowURL.isEmpty() && IsWebAddress(reply_.ShowURL))
        framework::ShellOpenAddress(QUrl(reply_.ShowURL, QUrl::StrictMode));
}

void TTwWebUpdate::downloadFile() {
    success_ = false;
    if (!IsPlainFileName(reply_.ClientFileName)) {
        DoDownloadError();
        return;
    }
    localFileName_ = GetLocalFileName();
    if (OnGetClientFileName) OnGetClientFileName(*this, localFileName_);
    const QFileInfo existing(localFileName_);
    if (existing.exists() && !existing.isDir()) {
        bool overwrite = Options.Contains(uoOverwrite);
        if (OnClientFileExists) OnClientFileExists(*this, localFileName_, overwrite);
        if (!overwrite) {
            DoDownloadError();
            return;
        }
    }
    const std::shared_ptr<bool> alive = alive_;
    DoBeforeDownload(localFileName_);
    if (!*alive) return;
    if (!transfer(reply_.DownloadURL, Sink::File, true, localFileName_, true)) {
        // Nothing ticks on after a download that failed.
        if (*alive) timer_.stop();
        return;
    }
    fetchSignature();
    if (!*alive) return;
    DoAfterDownload(localFileName_);
    if (!*alive) return;
    success_ = true;
}

void TTwWebUpdate::fetchSignature() {
    // Fetched by the same rules as the update itself; the launcher decides.
    const QString signaturePath = localFileName_ + QStringLiteral(".sig");
    QFile::remove(signaturePath);
    const uint32_t bytes = bytesRead_;
    const int32_t total = totalSize_;
    QByteArray signature;
    const std::shared_ptr<bool> alive = alive_;
    const bool fetched =
        transfer(reply_.DownloadURL + QStringLiteral(".sig"), Sink::Memory, false, QString(), false, &signature);
    if (!*alive) return;
    if (fetched && signature.size() <= 1024) {
        // Created afresh, never through a link planted at the name.
        const int descriptor = ::open(QFile::encodeName(signaturePath).constData(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            const ssize_t written = ::write(descriptor, signature.constData(), static_cast<size_t>(signature.size()));
            ::close(descriptor);
            if (written != signature.size()) QFile::remove(signaturePath);
        }
    }
    bytesRead_ = bytes;
    totalSize_ = total;
}

bool TTwWebUpdate::Download() {
    if (reply_.ProductName.isEmpty() || reply_.NewVersion.isEmpty() || busy_) return false;
    BusyScope busy(*this);
    const std::shared_ptr<bool> alive = alive_;
    downloadFile();
    if (!*alive || !success_) return false;
    openShowURL();
    if (Options.Contains(uoRunUpdate)) {
        QString reason;
        if (!StartUpdateFile(localFileName_, reply_.RunParameters, reason)) {
            cannotExecuteReason_ = reason;
            DoCannotExecute();
            return false;
        }
        if (Options.Contains(uoTerminate)) framework::RequestTerminate();
    }
    return true;
}

void TTwWebUpdate::CheckForUpdatesInThread() {
    // A queued call on the GUI thread, dropped with the component.
    QPointer<TTwWebUpdate> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (!self) return;
            if (self->busy_) {
                self->checkRequested_ = true;
                return;
            }
            framework::RunGuarded([&] { self->CheckForUpdates(); });
        },
        Qt::QueuedConnection);
}

}  // namespace velmora::update

#include "update/web_update.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <QDate>
#include <QDateTime>
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
#include "update/update_signature.h"
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
    const QString name = saveName();
    if (!TargetFolder.isEmpty() && QFileInfo(TargetFolder).isDir())
        return TargetFolder + (TargetFolder.endsWith(u'/') ? QString() : QStringLiteral("/")) + name;
    if (UseWinTempDir) {
        QString error;
        const QString folder = UpdateCacheFolder(error);
        if (folder.isEmpty()) throw std::runtime_error(error.toStdString());
        return folder + name;
    }
    return TempDirectory + (TempDirectory.endsWith(u'/') ? QString() : QStringLiteral("/")) + name;
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

QString TTwWebUpdate::prepareRequest(const QString& address, const TransferLimits& limits,
                                     HttpTransfer::Request& request) const {
    const bool secure = secure_ || ProductInfo.URL().startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    const QString resolved = ResolveUpdateAddress(address, ProductInfo.URL(), HTTPPort);
    if (resolved.isEmpty() || NamesInvalidHost(resolved))
        return QStringLiteral("The update server's address cannot be used.");
    // A name lookup that blocks would freeze the windows: such a libcurl is
    // not used at all.
    if (!HttpTransfer::ResolverIsAsynchronous())
        return QStringLiteral("This system's libcurl cannot look up names without blocking.");
    const bool https = resolved.startsWith(QLatin1String("https://"));
    if (secure && !https)
        return QStringLiteral("The update server offered an unencrypted (http) address after an encrypted one; it was "
                              "not used.");
    TransferLimits bounded = limits;
    if (deadline_ > 0) {
        const int64_t left = deadline_ - MonotonicMilliseconds();
        if (left <= 0) return QStringLiteral("The update server did not answer within the time limit.");
        const int cap = static_cast<int>(std::min<int64_t>(left, std::numeric_limits<int>::max()));
        bounded.totalMs = bounded.totalMs > 0 ? std::min(bounded.totalMs, cap) : cap;
        bounded.connectMs = std::min(bounded.connectMs, cap);
        bounded.stallMs = std::min(bounded.stallMs, cap);
    }
    request = HttpTransfer::Request();
    request.url = resolved;
    request.userName = UserName;
    request.password = Password;
    request.agent = Agent;
    request.httpsOnly = secure || https;
    request.caFile = CaFileForTesting;
    request.limits = bounded;
    return QString();
}

bool TTwWebUpdate::PageRequest(const QString& address, HttpTransfer::Request& request) const {
    return prepareRequest(address, InfoLimits, request).isEmpty();
}

namespace {

// A failed transfer's cause in plain words.
QString TransferFailureText(const HttpTransfer::Result& result, const TransferLimits& limits, bool download) {
    using Failure = HttpTransfer::Failure;
    switch (result.failure) {
    case Failure::Connect:
        return QStringLiteral("The update server could not be reached.");
    case Failure::Certificate:
        return QStringLiteral("The update server's certificate could not be verified.");
    case Failure::Unencrypted:
        return QStringLiteral("The update server offered an unencrypted (http) address after an encrypted one; it was "
                              "not used.");
    case Failure::Timeout:
        return download ? QStringLiteral("The download did not finish within the time limit.")
                        : QStringLiteral("The update server did not answer within the time limit.");
    case Failure::TooSlow: {
        const int rate = limits.minBytesPerSecond;
        const QString floor = rate % 1024 == 0 ? QStringLiteral("%1 KB/s").arg(rate / 1024) : QStringLiteral("%1 bytes/s").arg(rate);
        return QStringLiteral("The download was slower than %1 over %2 s and was stopped.")
            .arg(floor)
            .arg(limits.rateWindowMs / 1000.0);
    }
    case Failure::Redirections:
        return QStringLiteral("The update server sent too many redirections.");
    case Failure::None:
    case Failure::Other:
        break;
    }
    if (result.status != 0 && (result.status < 200 || result.status > 299))
        return QStringLiteral("The update server answered with an error (HTTP %1).").arg(result.status);
    return QString();
}

QString Origin(const QString& resolvedAddress) {
    const UpdateAddress parts = ParseUpdateAddress(resolvedAddress);
    return parts.scheme + QStringLiteral("://") + parts.host.toLower() + u':' + QString::number(parts.port);
}

}  // namespace

void TTwWebUpdate::fail(const QString& reason) {
    if (failure_.isEmpty()) failure_ = reason;
}

bool TTwWebUpdate::transfer(const QString& address, const Target& target) {
    aborted_ = cancelled_;
    if (cancelled_) return false;
    success_ = false;
    const std::shared_ptr<bool> alive = alive_;
    auto failWithEvent = [&](const QString& reason) {
        fail(reason);
        if (!*alive || !target.raiseEvents) return false;
        // A handler's error ends the transfer quietly, this one's too.
        try {
            DoDownloadError();
        } catch (...) {
        }
        return false;
    };
    if (ProductInfo.URL().startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) secure_ = true;
    HttpTransfer::Request request;
    const QString refused =
        prepareRequest(address, target.sink == Target::File ? DownloadLimits : InfoLimits, request);
    if (!refused.isEmpty()) return failWithEvent(refused);
    if (request.url.startsWith(QLatin1String("https://"))) secure_ = true;

    ProcessMessages();
    if (!*alive) return false;

    QByteArray text;
    bool handlerFailed = false;
    QString refusal;
    bytesRead_ = 0;
    HttpTransfer::Hooks hooks;
    // The check's deadline also counts the time spent in handlers and
    // message processing between libcurl's own limits.
    bool pastDeadline = false;
    hooks.aborted = [&] {
        if (!*alive || aborted_) return true;
        pastDeadline = deadline_ > 0 && MonotonicMilliseconds() >= deadline_;
        return pastDeadline;
    };
    hooks.pump = [&] {
        if (*alive) ProcessMessages();
    };
    hooks.headersEnded = [&](long status, bool hasLength, int64_t length) {
        if (!*alive) return false;
        if (status < 200 || status > 299) return false;
        if (hasLength && length > kLargestBodyLength) {
            refusal = QStringLiteral("The update server announced a reply that is too large.");
            return false;
        }
        if (hasLength && target.sink != Target::File && length > target.cap) {
            refusal = QStringLiteral("The update server's reply is too long.");
            return false;
        }
        if (hasLength && target.exactSize >= 0 && length != target.exactSize) {
            refusal = QStringLiteral("The downloaded update's size does not match its signed description.");
            return false;
        }
        if (hasLength) totalSize_ = static_cast<int32_t>(length);
        if (target.requireSize && !hasLength) return false;
        if (target.sink == Target::File && !target.file->Create()) {
            handlerFailed = true;  // no event, as for any file error
            return false;
        }
        return true;
    };
    hooks.piece = [&](const char* data, size_t size) {
        if (!*alive) return false;
        if (target.sink == Target::File) {
            if (target.exactSize >= 0 && static_cast<int64_t>(bytesRead_ + size) > target.exactSize) {
                refusal = QStringLiteral("The downloaded update's size does not match its signed description.");
                return false;
            }
            if (!target.file->Write(data, size)) {
                handlerFailed = true;
                return false;
            }
        } else {
            text.append(data, static_cast<qsizetype>(size));
            if (text.size() > target.cap) {
                refusal = QStringLiteral("The update server's reply is too long.");
                return false;
            }
        }
        chunkSize_ = static_cast<uint32_t>(size);
        bytesRead_ += chunkSize_;
        if (target.raiseEvents) {
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
    if (result.aborted && pastDeadline && !aborted_)
        return failWithEvent(QStringLiteral("The update server did not answer within the time limit."));
    if (result.aborted) return false;
    if (handlerFailed) return false;
    const bool ok = result.completed && result.status >= 200 && result.status <= 299;
    if (!ok) {
        if (!refusal.isEmpty()) return failWithEvent(refusal);
        QString reason = TransferFailureText(result, request.limits, target.sink == Target::File);
        if (reason.isEmpty() && result.status >= 200 && result.status <= 299 && target.requireSize && !result.hasLength)
            reason = QStringLiteral("The update server did not say how long the update is.");
        return failWithEvent(reason);
    }
    if (target.sink == Target::File) {
        const bool complete = result.hasLength && bytesRead_ > 0 && static_cast<int64_t>(bytesRead_) == result.length;
        if (!complete) return failWithEvent(QStringLiteral("The download ended before the whole update had arrived."));
        if (!target.file->Seal()) return failWithEvent(QStringLiteral("The update could not be saved."));
    } else if (target.sink == Target::Text) {
        // An empty page is no answer.
        if (text.isEmpty()) return failWithEvent(QStringLiteral("The update server sent an empty reply."));
        // Decoded once, whole.
        lines_ = SplitReplyLines(DecodeReplyText(text));
    } else if (target.memory) {
        *target.memory = text;
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
        Target target;
        if (!transfer(address, target) || !*alive) return;
        infoAddress_ = ResolveUpdateAddress(address.left(address.indexOf(u'?')), ProductInfo.URL(), HTTPPort);
        reply_ = ReadUpdateReply(lines_, TagInfo);
        if (reply_.Redirection.isEmpty() || reply_.Redirection + address.mid(address.indexOf(u'?')) == address) return;
    }
    // An endless chain of redirections: no answer.
    reply_ = UpdateReply();
    success_ = false;
    fail(QStringLiteral("The update server sent more than %1 redirections.").arg(kMaxRedirections));
    DoDownloadError();
}

bool TTwWebUpdate::Signed() { return !UpdatePublicKey().isEmpty(); }

std::optional<VersionWords> TTwWebUpdate::installedVersion() const {
    if (ProductInfo.VersionFormat == vfFileVersion || ProductInfo.VersionFormat == vfExternalFileVersion) {
        if (!versionKnown_) return std::nullopt;
        return VersionWords{fileVersionInfo_.dwFileVersionMS, fileVersionInfo_.dwFileVersionLS};
    }
    // Four plain numbers, or nothing: a loose reading would make any release newer.
    VersionWords words;
    if (!ReadReleaseVersion(currentVersion_, words)) return std::nullopt;
    return words;
}

bool TTwWebUpdate::fetchManifest() {
    const std::shared_ptr<bool> alive = alive_;
    if (reply_.Manifest.isEmpty()) {
        fail(QStringLiteral("The update server names no signed description of the update (wuManifest)."));
        return false;
    }
    // On the information's own scheme and host: a reply cannot send the
    // program to collect a manifest elsewhere.
    const QString address = ResolveUpdateAddress(reply_.Manifest, infoAddress_, HTTPPort);
    if (address.isEmpty() || Origin(address) != Origin(infoAddress_)) {
        fail(QStringLiteral("The update's signed description is not on the update server's own address."));
        return false;
    }
    QByteArray text, signature;
    Target target;
    target.sink = Target::Memory;
    target.raiseEvents = false;
    target.memory = &text;
    target.cap = kLargestManifest;
    const auto fetchFailed = [&](const QString& what) {
        const QString cause = failure_;
        failure_ = what + (cause.isEmpty() ? QString() : u' ' + cause);
        return false;
    };
    const bool fetched = transfer(address, target);
    if (!*alive) return false;
    if (!fetched) return fetchFailed(QStringLiteral("The update's signed description could not be fetched."));
    target.memory = &signature;
    target.cap = kLargestManifestSignature;
    const bool signatureFetched = transfer(address + QStringLiteral(".sig"), target);
    if (!*alive) return false;
    if (!signatureFetched)
        return fetchFailed(QStringLiteral("The signature of the update's signed description could not be fetched."));
    success_ = false;
    QString reason;
    ReleaseManifest manifest;
    if (!VerifyDetachedSignature(text, signature, UpdatePublicKey(), reason) ||
        !ParseReleaseManifest(text, manifest, reason)) {
        fail(reason);
        return false;
    }
    const std::optional<VersionWords> installed = installedVersion();
    if (!installed) {
        fail(QStringLiteral("This program's own version cannot be read, so no release can be judged newer."));
        return false;
    }
    const QDate buildDay = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(buildDate_)));
    reason = RefuseReleaseManifest(manifest, *installed, buildDay, QDateTime::currentDateTimeUtc().date());
    if (!reason.isEmpty()) {
        fail(reason);
        return false;
    }
    manifest_ = manifest;
    success_ = true;
    return true;
}

void TTwWebUpdate::readCurrentVersion() {
    versionKnown_ = false;
    fileVersionInfo_ = {};
    currentVersion_.clear();
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
            versionKnown_ = true;
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
    owner_.deadline_ = 0;
    owner_.cancelled_ = false;
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
    failure_.clear();
    manifest_.reset();
    verified_.reset();
    deadline_ = CheckDeadlineMs > 0 ? MonotonicMilliseconds() + CheckDeadlineMs : 0;
    readCurrentVersion();
    buildDate_ = std::floor(version::ImageBuildDate(version::OwnExecutablePath()));

    DoBeforeGetInfo();
    if (!*alive) return false;
    getInfo();
    if (!*alive) return false;
    DoAfterGetInfo();
    if (!*alive) return false;
    if (reply_.ProductName.isEmpty() || reply_.NewVersion.isEmpty()) {
        success_ = false;
        fail(QStringLiteral("The update server's answer names no product or version."));
        DoDownloadError();
        if (!*alive) return false;
    }
    if (!success_) return false;
    const bool newer = IsNewVersion();
    if (!*alive || !newer) return false;
    if (Signed()) {
        // The server announced a release; its signed manifest decides.
        if (!fetchManifest()) {
            if (*alive) DoDownloadError();
            return false;
        }
        reply_.NewVersion = manifest_->version;
        reply_.NewDate = QLocale().toString(manifest_->buildDate, QLocale::ShortFormat);
    }

    bool canUpdate = true;
    if (OnUpdateAvailable)
        OnUpdateAvailable(*this, currentVersion_, reply_.NewVersion, ShortDateText(buildDate_), reply_.NewDate, canUpdate);
    if (!*alive || !canUpdate || !DoShowInfo() || !*alive) return false;
    return true;
}

void TTwWebUpdate::OpenShowURL() {
    // Only a web address, and always as one: never a file the server named.
    if (!reply_.ShowURL.isEmpty() && IsWebAddress(reply_.ShowURL))
        framework::ShellOpenAddress(QUrl(reply_.ShowURL, QUrl::StrictMode));
}

QString TTwWebUpdate::saveName() const { return manifest_ ? manifest_->file : reply_.ClientFileName; }

void TTwWebUpdate::downloadFile() {
    success_ = false;
    failure_.clear();
    verified_.reset();
    const std::shared_ptr<bool> alive = alive_;
    if (Signed() && !manifest_) {
        fail(QStringLiteral("No signed description of the update was checked."));
        DoDownloadError();
        return;
    }
    if (!IsPlainFileName(saveName())) {
        fail(QStringLiteral("The server named the update file with characters that are not allowed in a file name."));
        DoDownloadError();
        return;
    }
    try {
        localFileName_ = GetLocalFileName();
    } catch (const std::exception& error) {
        fail(QString::fromStdString(error.what()));
        DoDownloadError();
        return;
    }
    if (OnGetClientFileName) {
        OnGetClientFileName(*this, localFileName_);
        if (!*alive) return;
    }
    const QFileInfo existing(localFileName_);
    if (existing.exists() && !existing.isDir()) {
        bool overwrite = Options.Contains(uoOverwrite);
        if (OnClientFileExists) {
            OnClientFileExists(*this, localFileName_, overwrite);
            if (!*alive) return;
        }
        if (!overwrite) {
            fail(QStringLiteral("An earlier download of the update is in the way."));
            DoDownloadError();
            return;
        }
    }
    DoBeforeDownload(localFileName_);
    if (!*alive) return;
    PartFile part(localFileName_);
    Target target;
    target.sink = Target::File;
    target.requireSize = true;
    target.file = &part;
    target.exactSize = manifest_ ? manifest_->size : -1;
    const bool received = transfer(reply_.DownloadURL, target);
    if (!*alive) return;
    // Nothing ticks on after a download that failed.
    if (!received) {
        timer_.stop();
        return;
    }
    success_ = false;
    if (manifest_) {
        // Checked through the descriptor it will be started from; a part
        // that fails is removed with `part`.
        QString reason;
        verified_ = VerifiedUpdate::Open(part.PartPath(), *manifest_, reason);
        if (!verified_) {
            timer_.stop();
            fail(reason);
            DoDownloadError();
            return;
        }
    }
    if (!part.Rename()) {
        verified_.reset();
        timer_.stop();
        fail(QStringLiteral("The update could not be saved under its name."));
        DoDownloadError();
        return;
    }
    DoAfterDownload(localFileName_);
    if (!*alive) return;
    success_ = true;
}

bool TTwWebUpdate::StartDownloadedUpdate(QString& reason) {
    if (!Signed()) {
        reason = QStringLiteral("This build has no key to check updates with, so it starts none.");
        return false;
    }
    if (!verified_ || !manifest_) {
        reason = QStringLiteral("No checked update is ready to start.");
        return false;
    }
    if (const UpdateLauncher& launcher = CurrentUpdateLauncher())
        return launcher(localFileName_, manifest_->arguments, reason);
    return StartUpdateFile(*verified_, localFileName_, manifest_->arguments, reason);
}

bool TTwWebUpdate::Download() {
    if (reply_.ProductName.isEmpty() || reply_.NewVersion.isEmpty() || busy_) return false;
    BusyScope busy(*this);
    const std::shared_ptr<bool> alive = alive_;
    downloadFile();
    if (!*alive || !success_) return false;
    if (Options.Contains(uoRunUpdate)) {
        QString reason;
        if (!StartDownloadedUpdate(reason)) {
            cannotExecuteReason_ = reason;
            fail(reason);
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

#include "loopback_servers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>

#include "update/release_manifest.h"
#include "version/program_version.h"

namespace velmora::update::testing {

namespace {

std::filesystem::path MakeScratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-update-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

QDate OwnBuildDay() {
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(version::ImageBuildDate(version::OwnExecutablePath())));
}

QDate TodayUtc() { return QDateTime::currentDateTimeUtc().date(); }

ReleaseFields ReleaseFields::Valid(const std::string& content, const std::string& file,
                                   std::vector<std::string> arguments, const std::string& version) {
    ReleaseFields fields;
    fields.product = kReleaseProductId;
    fields.version = version;
    fields.file = file;
    fields.buildDate = OwnBuildDay().addDays(30);
    fields.notAfter = TodayUtc().addDays(30);
    fields.size = static_cast<int64_t>(content.size());
    fields.sha256 =
        QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha256).toHex().toStdString();
    fields.arguments = std::move(arguments);
    return fields;
}

std::string ReleaseFields::Text() const {
    std::string text = "product = " + product + "\nversion = " + version +
                       "\nbuild-date = " + buildDate.toString(Qt::ISODate).toStdString() + "\nfile = " + file +
                       "\nsize = " + std::to_string(size) + "\nsha256 = " + sha256 +
                       "\nnot-after = " + notAfter.toString(Qt::ISODate).toStdString() + "\n";
    for (const std::string& argument : arguments) text += "arg = " + argument + "\n";
    return text;
}

LoopbackServers& LoopbackServers::Get() {
    static LoopbackServers servers;
    return servers;
}

LoopbackServers::LoopbackServers() {
    // No proxy of the machine's may stand between the tests and their servers.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    ::setenv("no_proxy", "*", 1);
    scratch_ = MakeScratch();
    root_ = scratch_ / "root";
    log_ = scratch_ / "requests.jsonl";
    std::filesystem::create_directories(root_);
    keys_ = VELMORA_UPDATE_TEST_KEYS;
    const std::string make = std::string("/bin/sh ") + VELMORA_UPDATE_TEST_TOOLS "/make_test_keys.sh '" + keys_.string() + "'";
    if (std::system(make.c_str()) != 0) throw std::runtime_error("could not make the test keys");

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        const std::string script = VELMORA_UPDATE_TEST_TOOLS "/loopback_server.py";
        const std::string root = root_.string(), log = log_.string();
        const std::string cert = (keys_ / "server.pem").string(), key = (keys_ / "server.key").string();
        const std::string wrongCert = (keys_ / "wrong.pem").string(), wrongKey = (keys_ / "wrong.key").string();
        ::execl("/usr/bin/python3", "python3", "-u", script.c_str(), "--root", root.c_str(), "--log", log.c_str(),
                "--cert", cert.c_str(), "--key", key.c_str(), "--wrong-cert", wrongCert.c_str(), "--wrong-key",
                wrongKey.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string line;
    char c = 0;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(pipeFds[0]);
    const QJsonObject ports = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    http_ = ports.value("http").toInt();
    https_ = ports.value("https").toInt();
    wrongName_ = ports.value("wrong_name").toInt();
    if (http_ == 0 || https_ == 0) throw std::runtime_error("the loopback server did not start: " + line);
}

LoopbackServers::~LoopbackServers() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
}

QString LoopbackServers::CaFile() const { return QString::fromStdString((keys_ / "ca.pem").string()); }

QString LoopbackServers::Http(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(http_).arg(path);
}

QString LoopbackServers::Https(const QString& path) const {
    return QStringLiteral("https://127.0.0.1:%1%2").arg(https_).arg(path);
}

std::vector<QJsonObject> LoopbackServers::TakeRequests() {
    std::vector<QJsonObject> requests;
    std::ifstream in(log_);
    in.seekg(static_cast<std::streamoff>(logRead_));
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // a line still being written
        logRead_ += line.size() + 1;
        requests.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    }
    return requests;
}

void LoopbackServers::Put(const std::string& name, const std::string& content) const {
    std::ofstream(root_ / name, std::ios::binary) << content;
}

void LoopbackServers::Sign(const std::filesystem::path& file, bool withOtherKey) const {
    const std::string key = (keys_ / (withOtherKey ? "other-sign.pem" : "sign.pem")).string();
    const std::string command = "openssl pkeyutl -sign -rawin -inkey '" + key + "' -in '" + file.string() + "' -out '" +
                                file.string() + ".sig'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("signing failed");
}

void LoopbackServers::PublishManifest(const std::string& name, const std::string& text, bool withOtherKey) const {
    Put(name, text);
    std::filesystem::remove(root_ / (name + ".sig"));
    Sign(root_ / name, withOtherKey);
}

}  // namespace velmora::update::testing

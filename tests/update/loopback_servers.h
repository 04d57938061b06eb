#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include <QDate>
#include <QJsonObject>
#include <QString>

namespace velmora::update::testing {

// The fields of a release manifest; Valid() fills them for `content` as a
// publisher would: newer than the program under test, valid for 30 days.
struct ReleaseFields {
    std::string product, version, file, sha256;
    QDate buildDate, notAfter;
    int64_t size = 0;
    std::vector<std::string> arguments;

    static ReleaseFields Valid(const std::string& content, const std::string& file,
                               std::vector<std::string> arguments, const std::string& version = "3.0.0.52");
    std::string Text() const;
};

// The build day of the program under test and today (UTC), as the
// component reads them.
QDate OwnBuildDay();
QDate TodayUtc();

// The loopback servers of the web-update tests, one Python process for the
// whole test program: HTTP, HTTPS with a test CA, and HTTPS with a
// certificate for another name. Files the tests put into Root() are served.
class LoopbackServers {
public:
    static LoopbackServers& Get();  // started on first use, stopped at exit

    const std::filesystem::path& Root() const { return root_; }
    const std::filesystem::path& Keys() const { return keys_; }
    QString CaFile() const;
    int HttpPort() const { return http_; }
    int HttpsPort() const { return https_; }
    int WrongNamePort() const { return wrongName_; }
    QString Http(const QString& path) const;   // "http://127.0.0.1:<port>" + path
    QString Https(const QString& path) const;

    // Requests received since the last call, oldest first.
    std::vector<QJsonObject> TakeRequests();

    void Put(const std::string& name, const std::string& content) const;
    // Signs `file` into `file`.sig with the test key (or another key).
    void Sign(const std::filesystem::path& file, bool withOtherKey = false) const;
    // Serves `text` as `name` with its signature as `name`.sig.
    void PublishManifest(const std::string& name, const std::string& text, bool withOtherKey = false) const;

    ~LoopbackServers();

private:
    LoopbackServers();
    std::filesystem::path scratch_, root_, keys_, log_;
    pid_t pid_ = -1;
    int http_ = 0, https_ = 0, wrongName_ = 0;
    size_t logRead_ = 0;
};

}  // namespace velmora::update::testing

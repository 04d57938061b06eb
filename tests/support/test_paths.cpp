#include "support/test_paths.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velmora::testing {

namespace fs = std::filesystem;

fs::path TestDataPath(const std::string& relative) { return fs::path(VELMORA_TEST_DATA_DIR) / relative; }

std::vector<fs::path> CorpusDocuments() {
    std::vector<fs::path> documents;
    for (const auto& entry : fs::recursive_directory_iterator(TestDataPath("corpus"))) {
        auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".doc" || extension == ".xls" || extension == ".ppt"))
            documents.push_back(entry.path());
    }
    std::sort(documents.begin(), documents.end());
    return documents;
}

void CopyWritable(const fs::path& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

int RunUnprivileged(const std::function<int()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(kCannotDropPrivileges);
        try {
            ::_exit(check());
        } catch (...) {
            ::_exit(98);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

std::vector<uint8_t> ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteWholeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

ScopedTempDir::ScopedTempDir() {
    std::string pattern = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    // Tests make files read-only; give permissions back so removal succeeds.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

ScopedTimeZone::ScopedTimeZone(const std::string& zone) {
    if (const char* current = std::getenv("TZ")) {
        hadZone_ = true;
        previous_ = current;
    }
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadZone_)
        ::setenv("TZ", previous_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

bool HoldsText(const std::vector<uint8_t>& bytes, std::u16string_view text) {
    std::string latin1, utf16;
    for (char16_t c : text) {
        latin1.push_back(static_cast<char>(c));
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    for (const std::string& needle : {latin1, utf16})
        if (std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end()) return true;
    return false;
}

}  // namespace velmora::testing

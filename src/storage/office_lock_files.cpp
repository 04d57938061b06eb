#include "storage/office_lock_files.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace velmora::storage {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLibreOfficePrefix = ".~lock.";
constexpr std::string_view kOwnerPrefix = "~$";

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Bytes of the UTF-8 character starting at `at`; a byte that starts no
// well-formed character counts as one, so that a name in another encoding
// is still cut between bytes.
size_t CharacterLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || at + length > text.size()) return 1;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
    return length;
}

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at += CharacterLength(text, at)) ++count;
    return count;
}

// Word's owner file drops characters of the name, not bytes, depending on
// how long the name is without its extension.
std::string WordOwnerFileName(const fs::path& document) {
    const std::string name = document.filename().string();
    const size_t stemCharacters = CharacterCount(document.stem().string());
    const size_t dropped = stemCharacters >= 8 ? 2 : stemCharacters == 7 ? 1 : 0;
    size_t at = 0;
    for (size_t i = 0; i < dropped && at < name.size(); ++i) at += CharacterLength(name, at);
    return std::string(kOwnerPrefix) + name.substr(at);
}

// A lock file is a few hundred bytes; more than this is not one we can read.
std::string ReadStart(const fs::path& file, size_t limit) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(limit, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// Text from another user's file goes into our message: no control
// characters, and not without end.
std::string Printable(std::string text) {
    constexpr size_t kLimit = 200;
    std::string shown;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) shown += c;
    if (shown.size() > kLimit) shown = shown.substr(0, kLimit) + "...";
    const size_t first = shown.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : shown.substr(first, shown.find_last_not_of(' ') - first + 1);
}

// LibreOffice's lock file is one line of UTF-8: user name (as set in
// LibreOffice, often empty), account, host, local date and time
// ("dd.mm.yyyy hh:mm") and the URL of the user's profile, separated by ','
// and ended by ';', with '\' escaping those three characters in a field.
struct LibreOfficeLock {
    std::string user;
    std::string account;
    std::string host;
    std::string time;
};

LibreOfficeLock ReadLibreOfficeLock(const fs::path& lockFile) {
    const std::string content = ReadStart(lockFile, 4096);
    std::vector<std::string> fields(1);
    bool escaped = false;
    for (char c : content) {
        if (escaped) {
            fields.back() += c;
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == ';') {
            break;
        } else {
            fields.back() += c;
        }
    }
    fields.resize(std::max<size_t>(fields.size(), 4));
    return {Printable(fields[0]), Printable(fields[1]), Printable(fields[2]), Printable(fields[3])};
}

void AppendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The UTF-16LE name of `length` units at `at`, as UTF-8; empty unless every
// unit makes a character (no controls, no lone surrogates).
std::string Utf16Name(const std::string& bytes, size_t at, size_t length) {
    if (at + 2 * length > bytes.size()) return {};
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2 * i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2 * i + 1])) << 8;
    };
    std::string name;
    for (size_t i = 0; i < length; ++i) {
        uint32_t codePoint = unit(i);
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < length && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF)
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (unit(++i) - 0xDC00);
        if (codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return {};
        AppendUtf8(name, codePoint);
    }
    return name;
}

// Office's owner file (162 bytes from Word, 165 from Excel and PowerPoint):
// a byte giving the length of the user name (at most 52), the name in the
// Windows ANSI code page, padding up to offset 54 (Word) or 55 (Excel,
// PowerPoint), a 16-bit length and the name again in UTF-16LE. Word pads
// with zeros and the others with spaces, so a length read at 54 from Excel's
// file has 0x20 in its low byte and is too large to pass. The ANSI copy is
// used only when the UTF-16 one is missing and it is plain ASCII, since its
// code page is not recorded.
std::string OwnerFileUser(const fs::path& ownerFile) {
    constexpr size_t kMaxName = 52;
    const std::string bytes = ReadStart(ownerFile, 256);
    if (bytes.empty()) return {};
    const size_t ansiLength = static_cast<unsigned char>(bytes[0]);
    if (ansiLength == 0 || ansiLength > kMaxName) return {};
    for (size_t at : {size_t{54}, size_t{55}}) {
        if (at + 2 > bytes.size()) break;
        const size_t length =
            static_cast<unsigned char>(bytes[at]) | static_cast<size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
        if (length == 0 || length > kMaxName) continue;
        if (std::string name = Printable(Utf16Name(bytes, at + 2, length)); !name.empty()) return name;
    }
    if (ansiLength + 1 > bytes.size()) return {};
    const std::string ansi = bytes.substr(1, ansiLength);
    for (char c : ansi)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return {};
    return Printable(ansi);
}

std::string LibreOfficeMessage(const fs::path& lockFile) {
    const LibreOfficeLock lock = ReadLibreOfficeLock(lockFile);
    const std::string& user = lock.user.empty() ? lock.account : lock.user;
    std::string message = "The document is open in LibreOffice: its lock file " + lockFile.string();
    if (user.empty() && lock.host.empty() && lock.time.empty()) {
        message += " is present.";
    } else {
        message += " says ";
        message += user.empty() ? "it was opened" : user + " opened it";
        if (!lock.host.empty()) message += " on " + lock.host;
        if (!lock.time.empty()) message += " at " + lock.time;
        message += ".";
    }
    return message + " If LibreOffice is no longer running on " + (lock.host.empty() ? "that computer" : lock.host) +
           ", delete the lock file and try again.";
}

std::string OwnerFileMessage(const fs::path& ownerFile) {
    const std::string user = OwnerFileUser(ownerFile);
    return "The document is open in Microsoft Office: its owner file " + ownerFile.string() +
           (user.empty() ? " is present." : " says " + user + " opened it.") +
           " If Office is no longer running, delete the owner file and try again.";
}

}  // namespace

std::optional<fs::path> FindLiveOfficeLockFile(const fs::path& document) {
    const fs::path folder = document.parent_path();
    const std::string name = document.filename().string();
    for (const std::string& lockName :
         {std::string(kLibreOfficePrefix) + name + "#", std::string(kOwnerPrefix) + name, WordOwnerFileName(document)}) {
        if (Exists(folder / lockName)) return folder / lockName;
    }
    return std::nullopt;
}

std::string OfficeLockFileMessage(const fs::path& given) {
    std::error_code error;
    fs::path lockFile = fs::absolute(given, error);
    if (error) lockFile = given;
    const std::string name = lockFile.filename().string();
    if (name.starts_with(kLibreOfficePrefix) && name.ends_with('#')) return LibreOfficeMessage(lockFile);
    if (name.starts_with(kOwnerPrefix)) return OwnerFileMessage(lockFile);
    return "The document is open in another program: its lock file " + lockFile.string() +
           " is present. If that program is no longer running, delete the lock file and try again.";
}

}  // namespace velmora::storage

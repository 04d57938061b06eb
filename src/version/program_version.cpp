#include "version/program_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "storage/little_endian.h"
#include "storage/scoped_descriptor.h"

namespace velmora::version {

namespace {

constexpr double kUnixEpochDay = 25569.0;  // 1 January 1970 as a date-time

class File {
public:
    explicit File(const std::filesystem::path& path) : descriptor_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        if (descriptor_.get() < 0) error_ = errno;
    }

    int error() const { return error_; }

    // Exactly `size` bytes at `offset`, or nothing.
    std::optional<std::vector<uint8_t>> Read(uint64_t offset, uint64_t size) {
        constexpr uint64_t kLimit = 1 << 20;  // nothing we read here is anywhere near this
        if (descriptor_.get() < 0 || size > kLimit || offset > static_cast<uint64_t>(INT64_MAX) - size) return std::nullopt;
        std::vector<uint8_t> bytes(size);
        size_t done = 0;
        while (done < size) {
            ssize_t got = ::pread(descriptor_.get(), bytes.data() + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = errno;
            if (got <= 0) return std::nullopt;
            done += static_cast<size_t>(got);
        }
        return bytes;
    }

    bool IsRegular() const {
        struct stat status {};
        return descriptor_.get() >= 0 && ::fstat(descriptor_.get(), &status) == 0 && S_ISREG(status.st_mode);
    }

private:
    storage::ScopedDescriptor descriptor_;
    int error_ = 0;
};

// The descriptor of our note in a little-endian 64-bit ELF file.
std::optional<std::vector<uint8_t>> ReadNoteDescriptor(File& file) {
    if (!file.IsRegular()) return std::nullopt;
    auto header = file.Read(0, 64);
    if (!header || std::memcmp(header->data(), "\x7F" "ELF", 4) != 0 || (*header)[4] != 2 || (*header)[5] != 1)
        return std::nullopt;
    const uint64_t sectionTable = storage::LoadU64(*header, 0x28);
    const uint16_t entrySize = storage::LoadU16(*header, 0x3A);
    const uint16_t sectionCount = storage::LoadU16(*header, 0x3C);
    const uint16_t namesIndex = storage::LoadU16(*header, 0x3E);
    if (entrySize < 64 || sectionCount == 0 || namesIndex >= sectionCount) return std::nullopt;
    auto sections = file.Read(sectionTable, uint64_t{entrySize} * sectionCount);
    if (!sections) return std::nullopt;
    auto section = [&](uint16_t index) { return std::span<const uint8_t>(*sections).subspan(size_t{index} * entrySize, entrySize); };
    auto names = file.Read(storage::LoadU64(section(namesIndex), 0x18), storage::LoadU64(section(namesIndex), 0x20));
    if (!names) return std::nullopt;

    const std::string_view wanted = version_note::kSectionName;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint32_t nameOffset = storage::LoadU32(section(i), 0);
        if (nameOffset >= names->size()) continue;
        const char* name = reinterpret_cast<const char*>(names->data() + nameOffset);
        if (std::string_view(name, strnlen(name, names->size() - nameOffset)) != wanted) continue;
        auto note = file.Read(storage::LoadU64(section(i), 0x18), storage::LoadU64(section(i), 0x20));
        if (!note || note->size() < sizeof(version_note::Layout)) return std::nullopt;
        if (storage::LoadU32(*note, 0) != sizeof version_note::kOwner ||
            storage::LoadU32(*note, 4) != version_note::kDescriptorSize || storage::LoadU32(*note, 8) != version_note::kType ||
            std::memcmp(note->data() + 12, version_note::kOwner, sizeof version_note::kOwner) != 0)
            return std::nullopt;
        const uint8_t* descriptor = note->data() + 12 + sizeof version_note::kOwner;
        return std::vector<uint8_t>(descriptor, descriptor + version_note::kDescriptorSize);
    }
    return std::nullopt;
}

FixedFileInfo DecodeFixedFileInfo(std::span<const uint8_t> bytes) {
    uint32_t words[13];
    for (size_t i = 0; i < 13; ++i) words[i] = storage::LoadU32(bytes, 4 * i);
    FixedFileInfo info;
    std::memcpy(&info, words, sizeof info);
    return info;
}

std::string SystemErrorText(int code) {
    if (code == 0) return "A call to an OS function failed";
    return "System Error.  Code: " + std::to_string(code) + ".\n" + std::strerror(code);
}

}  // namespace

bool ReadFixedFileInfo(const std::filesystem::path& path, FixedFileInfo& info) {
    File file(path);
    auto descriptor = ReadNoteDescriptor(file);
    if (!descriptor) return false;
    FixedFileInfo read = DecodeFixedFileInfo(*descriptor);
    if (read.dwSignature != kFixedFileInfoSignature) return false;
    info = read;
    return true;
}

ProgramVersion VersionOf(const FixedFileInfo& info) {
    return {static_cast<uint16_t>(info.dwFileVersionMS >> 16), static_cast<uint16_t>(info.dwFileVersionMS),
            static_cast<uint16_t>(info.dwFileVersionLS >> 16), static_cast<uint16_t>(info.dwFileVersionLS)};
}

std::string FileVersionText(const FixedFileInfo& info, int format, std::string result) {
    const ProgramVersion v = VersionOf(info);
    if (format == 0) return std::to_string(v.major) + "." + std::to_string(v.minor);
    if (format == 1)
        return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release) + "." +
               std::to_string(v.build);
    return result;
}

ProgramVersion ReadProgramVersion() {
    FixedFileInfo info;
    ReadFixedFileInfo(OwnExecutablePath(), info);
    return VersionOf(info);
}

std::string BuildLetter(uint32_t build) {
    static constexpr const char* kLetters[10] = {"", "c", "d", "e", "f", "g", "h", "i", "j", "k"};
    return kLetters[build % 10];
}

std::string VersionText(const ProgramVersion& version, bool includeBuild, bool buildOnly, bool buildAsLetter) {
    if (buildOnly) return "Build " + std::to_string(version.build);
    std::string text = std::to_string(version.major) + "." + std::to_string(version.minor) + std::to_string(version.release);
    if (includeBuild) text += buildAsLetter ? BuildLetter(version.build) : " Build " + std::to_string(version.build);
    return text;
}

std::string ProgramVersionText(bool includeBuild, bool buildOnly, bool buildAsLetter) {
    return VersionText(ReadProgramVersion(), includeBuild, buildOnly, buildAsLetter);
}

OsError::OsError(int code) : std::runtime_error(SystemErrorText(code)), code_(code) {}

double ImageBuildDate(const std::filesystem::path& path) {
    File file(path);
    if (file.error() != 0) throw OsError(file.error());
    auto descriptor = ReadNoteDescriptor(file);
    if (!descriptor) throw OsError(file.error());
    const auto seconds = static_cast<int64_t>(storage::LoadU64(*descriptor, version_note::kFixedInfoSize));
    return static_cast<double>(seconds) / 86400.0 + kUnixEpochDay;
}

std::filesystem::path OwnExecutablePath() { return "/proc/self/exe"; }

}  // namespace velmora::version

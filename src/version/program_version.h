#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "version/version_note.h"

namespace velmora::version {

// Reads the fixed file information from the version note of the executable
// at `path`. False, leaving `info` alone, when the file cannot be read, is
// not an ELF file or carries no complete note of ours.
bool ReadFixedFileInfo(const std::filesystem::path& path, FixedFileInfo& info);

// "3.0" (format 0: major and minor) or "3.0.0.51" (format 1: all four
// parts); any other format gives `result` back unchanged.
std::string FileVersionText(const FixedFileInfo& info, int format, std::string result = {});

struct ProgramVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t release = 0;
    uint16_t build = 0;
};

ProgramVersion VersionOf(const FixedFileInfo& info);

// The running executable's version; all zeros if its note cannot be read.
ProgramVersion ReadProgramVersion();

// The version as the program shows it: major "." minor release, the last
// two written together ("3.00" for 3.0.0.51), then with `includeBuild` the
// build letter (`buildAsLetter`) or " Build 51"; with `buildOnly` just
// "Build 51".
std::string VersionText(const ProgramVersion& version, bool includeBuild, bool buildOnly, bool buildAsLetter);
std::string ProgramVersionText(bool includeBuild, bool buildOnly, bool buildAsLetter);

// The letter of a build number: none for multiples of 10, then "c" to "k"
// for the remainders 1 to 9.
std::string BuildLetter(uint32_t build);

// A failed call to the system, with the text the program shows for it.
class OsError : public std::runtime_error {
public:
    explicit OsError(int code);
    int code() const { return code_; }

private:
    int code_;
};

// The build time of the executable at `path`, as a UTC date-time (days since
// 30 December 1899). Raises OsError when the file cannot be read or carries
// no note of ours.
double ImageBuildDate(const std::filesystem::path& path);

// The running executable's own file.
std::filesystem::path OwnExecutablePath();

}  // namespace velmora::version

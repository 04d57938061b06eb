#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velmora::storage {

// The lock file an office suite keeps beside a document it has open, if any:
// LibreOffice's ".~lock.NAME#", or Microsoft Office's owner file "~$NAME".
// Word shortens the owner file's name when the name without its extension
// has 7 characters (it drops the first) or more (it drops the first two);
// that form is looked for whatever the extension, since Word opens any file.
// Every lock file found counts as live: one left behind by a program that
// crashed looks the same, and neither kind records a process we could check.
// Reading is not affected; writing a document with a lock file is refused.
std::optional<std::filesystem::path> FindLiveOfficeLockFile(const std::filesystem::path& document);

// Why a document is not written while `lockFile` (as FindLiveOfficeLockFile
// gave it) lies beside it, as one or two sentences for a person. Names the
// lock file by its full path. For LibreOffice's, it adds what the lock file
// records: the user (the name set in LibreOffice, else the account), the host
// and the time, as written there; for Office's owner file, the user name in
// it when that can be read. Ends by telling the reader to delete the lock
// file if the program that made it no longer runs (on that host). Parts that
// cannot be read are left out; an unreadable or vanished file still gives a
// message naming it. Does not throw for anything in the file.
std::string OfficeLockFileMessage(const std::filesystem::path& lockFile);

}  // namespace velmora::storage

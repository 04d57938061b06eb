#pragma once

#include <functional>

#include <QString>

namespace velmora::app {

// Opens a file or an address with the desktop's default handler for its type
// (a browser for web addresses, a mail program for mailto:). Returns false
// when nothing could be started. Every caller in the program goes through
// here, so a test can replace the handler and no real browser ever starts.
bool ShellOpen(const QString& fileOrAddress);

using ShellOpenHandler = std::function<bool(const QString& fileOrAddress)>;

// Replaces the handler; an empty one restores the desktop's. Returns the
// handler that was in place.
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);

// Replaces the handler for the life of the object (tests).
class ScopedShellOpenHandler {
public:
    explicit ScopedShellOpenHandler(ShellOpenHandler handler) : previous_(SetShellOpenHandler(std::move(handler))) {}
    ~ScopedShellOpenHandler() { SetShellOpenHandler(std::move(previous_)); }
    ScopedShellOpenHandler(const ScopedShellOpenHandler&) = delete;
    ScopedShellOpenHandler& operator=(const ScopedShellOpenHandler&) = delete;

private:
    ShellOpenHandler previous_;
};

}  // namespace velmora::app

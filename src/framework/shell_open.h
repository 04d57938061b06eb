#pragma once

#include <functional>

#include <QString>
#include <QUrl>

#include "framework/scoped_replacement.h"

namespace velmora::framework {

// Opens a file or an address with the desktop's default handler for its type
// (a browser for web addresses, a mail program for mailto:). Returns false
// when nothing could be started. Every caller in the program goes through
// here, so a test can replace the handler and no real browser ever starts.
bool ShellOpen(const QString& fileOrAddress);

using ShellOpenHandler = std::function<bool(const QString& fileOrAddress)>;

// Opens a web address with the desktop's browser, always as an address, even
// where a file of that name exists. Goes through the same handler.
bool ShellOpenAddress(const QUrl& address);
// Replaces the handler; an empty one restores the desktop's. Returns the
// handler that was in place.
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);

// Replaces the handler for the life of the object (tests).
using ScopedShellOpenHandler = ScopedReplacement<ShellOpenHandler, &SetShellOpenHandler>;

}  // namespace velmora::framework

#include "framework/shell_open.h"

#include <utility>

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace velmora::framework {

namespace {

bool OpenWithDesktop(const QString& fileOrAddress) {
    if (fileOrAddress.isEmpty()) return false;
    // A path that exists is a file, even when it looks like "host:thing";
    // anything else is taken as an address.
    const QUrl url = QFileInfo::exists(fileOrAddress) ? QUrl::fromLocalFile(QFileInfo(fileOrAddress).absoluteFilePath())
                                                      : QUrl(fileOrAddress, QUrl::StrictMode);
    return url.isValid() && QDesktopServices::openUrl(url);
}

ShellOpenHandler& CurrentHandler() {
    static ShellOpenHandler handler;
    return handler;
}

}  // namespace

bool ShellOpen(const QString& fileOrAddress) {
    const ShellOpenHandler& handler = CurrentHandler();
    return handler ? handler(fileOrAddress) : OpenWithDesktop(fileOrAddress);
}

bool ShellOpenAddress(const QUrl& address) {
    const ShellOpenHandler& handler = CurrentHandler();
    if (handler) return handler(address.toString());
    return address.isValid() && QDesktopServices::openUrl(address);
}

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

}  // namespace velmora::framework

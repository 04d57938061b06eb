#include "framework/desktop_helpers.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include "engine/path_text.h"
#include "framework/framework_services.h"

namespace velmora::framework {

namespace {

// Installed once per window by SetCloseCommandEnabled(); refuses close
// events while closing is disabled.
class CloseRefusal : public QObject {
public:
    explicit CloseRefusal(QWidget* window) : QObject(window) { window->installEventFilter(this); }

    void SetRefusing(bool refusing) { refusing_ = refusing; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Only the desktop's requests (title-bar button, window menu,
        // Alt+F4) arrive spontaneously; the program's own close() still closes.
        if (refusing_ && event->type() == QEvent::Close && event->spontaneous() && watched == parent()) {
            event->ignore();
            return true;
        }
        return false;
    }

private:
    bool refusing_ = false;
};

CloseRefusal* FindCloseRefusal(QWidget* window) {
    for (QObject* child : window->children()) {
        if (auto* refusal = dynamic_cast<CloseRefusal*>(child)) return refusal;
    }
    return nullptr;
}

}  // namespace

QString GetDocumentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return FolderExists(folder) ? folder : QString();
}

bool FolderExists(const QString& path) {
    if (path.isEmpty()) return false;
    const std::filesystem::path native = engine::TextToPath(path.toStdU16String());
    struct stat status {};
    if (::stat(native.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
    // Only what says "no such folder" counts as missing: a folder we may not
    // look into (EACCES, say) still exists.
    return errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG && errno != ELOOP;
}

QString SizeToText(int64_t size, const QLocale& locale) {
    if (size <= 0) return {};
    constexpr std::array<const char*, 5> kUnits{" Bytes", " KB", " MB", " GB", " TB"};
    size_t unit = 0;
    while (unit + 1 < kUnits.size() && size >= (int64_t{1} << (10 * (unit + 1)))) ++unit;
    const double value = static_cast<double>(size) / static_cast<double>(int64_t{1} << (10 * unit));
    // Some locales (QLocale::c()) leave the group separator out by default;
    // sizes always carry it.
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::NumberOptions(QLocale::OmitGroupSeparator));
    return grouped.toString(value, 'f', 2) + QLatin1String(kUnits[unit]);
}

void ApplyMessageFont(QWidget* window) {
    if (window == nullptr) return;
    window->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    const QString family = window->font().family();
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (!child->testAttribute(Qt::WA_SetFont)) continue;
        QFont font = child->font();
        font.setFamily(family);
        child->setFont(font);
    }
}

void DelayWithMessages(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    qint64 elapsed = 0;
    do {
        elapsed = clock.elapsed();
        ProcessPendingMessages();
        QThread::msleep(1);
    } while (elapsed < milliseconds);
}

void WaitWithMessages(const std::function<bool()>& signalled,
                      const std::function<void(std::function<void()>)>& setNotification) {
    QEventLoop loop;
    setNotification([&loop] { QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection); });
    // Also when a handler's error comes out of exec(): the notification must
    // not outlive the loop it refers to.
    struct NotificationRemoval {
        const std::function<void(std::function<void()>)>& remove;
        ~NotificationRemoval() { remove({}); }
    } removal{setNotification};
    while (!signalled()) {
        loop.exec();
        // Still not raised: the loop was ended by a request to quit the
        // application, which also makes every later exec() return at once
        // until the main loop has ended. Waiting for the next event instead
        // keeps the hand-over from the worker going without spinning.
        if (!signalled()) loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void SetCloseCommandEnabled(QWidget* window, bool enabled) {
    if (window == nullptr) return;
    CloseRefusal* refusal = FindCloseRefusal(window);
    if (refusal == nullptr) {
        if (enabled) return;
        refusal = new CloseRefusal(window);
    }
    refusal->SetRefusing(!enabled);
}

}  // namespace velmora::framework

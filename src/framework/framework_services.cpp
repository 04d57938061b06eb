#include "framework/framework_services.h"

#include <exception>
#include <stdexcept>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QThread>


namespace velmora::framework {

namespace {

QPointer<QWidget>& RunningMainWindow() {
    static QPointer<QWidget> window;
    return window;
}

// Ends the message loop once the watched window has really closed. A close
// event arrives before the window's own handlers decide, so the check waits
// until that event has been handled.
class MainWindowCloseWatcher : public QObject {
public:
    explicit MainWindowCloseWatcher(QWidget& window) : QObject(&window), window_(&window) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Close) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (window_ && !window_->isVisible()) QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QPointer<QWidget> window_;
};

}  // namespace

int RunMessageLoopUntilClosed(QWidget& mainWindow) {
    QPointer<QWidget> previous = RunningMainWindow();
    RunningMainWindow() = &mainWindow;
    QPointer<MainWindowCloseWatcher> watcher = new MainWindowCloseWatcher(mainWindow);
    // The window may go away without a close (deleted by its owner); the
    // program has nothing left to show then.
    const QMetaObject::Connection destroyed = QObject::connect(
        &mainWindow, &QObject::destroyed, QCoreApplication::instance(), [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    // This window alone decides when the program ends, not the last of
    // whatever windows happen to be open.
    const bool quitOnLastWindowClosed = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    mainWindow.show();
    const int exitCode = QApplication::exec();
    QGuiApplication::setQuitOnLastWindowClosed(quitOnLastWindowClosed);
    QObject::disconnect(destroyed);
    delete watcher.data();  // null when the window, its parent, went first
    RunningMainWindow() = previous;
    return exitCode;
}

QWidget* MainWindow() {
    if (QWidget* running = RunningMainWindow(); running != nullptr && running->isVisible()) return running;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->isModal() && window->windowType() == Qt::Window) return window;
    }
    return nullptr;
}

void RequestTerminate() {
    // exit(), not quit(): since Qt 6 quit() first asks every window to close
    // and gives up when one refuses, while ending the program must not
    // depend on, say, a window whose close command is disabled.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void ProcessPendingMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

int ShowModal(QDialog& dialog) { return dialog.exec(); }

namespace {

// QWidget::isAncestorOf stops at window boundaries; ownership does not.
bool OwnsWindow(const QWidget* owner, const QWidget* window) {
    for (const QWidget* up = window ? window->parentWidget() : nullptr; up != nullptr; up = up->parentWidget())
        if (up == owner) return true;
    return false;
}

}  // namespace

TaskWindowList DisableTaskWindows(QWidget* except) {
    TaskWindowList disabled;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == except || !window->isVisible() || !window->isEnabled()) continue;
        // Disabling a window disables the windows it owns: the excepted one
        // would go dead with its owner.
        if (OwnsWindow(window, except)) continue;
        window->setEnabled(false);
        disabled.emplace_back(window);
    }
    return disabled;
}

void EnableTaskWindows(const TaskWindowList& windows) {
    for (const QPointer<QWidget>& window : windows) {
        if (window) window->setEnabled(true);
    }
}

void RunOnGuiThread(const std::function<void()>& procedure) {
    QCoreApplication* application = QCoreApplication::instance();
    // Qt reports a blocking hand-over to the calling thread as a deadlock and
    // hangs, so the GUI thread calls directly.
    if (application == nullptr || QThread::currentThread() == application->thread()) {
        procedure();
        return;
    }
    // The exception must not pass through Qt's event loop: caught on the GUI
    // thread, carried over, rethrown here.
    std::exception_ptr failure;
    bool ran = false;
    QMetaObject::invokeMethod(
        application,
        [&procedure, &failure, &ran] {
            ran = true;
            try {
                procedure();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
    // Qt drops the call when the application goes away first; the worker
    // must not take that for done.
    if (!ran) throw std::runtime_error("The program is closing");
}


}  // namespace velmora::framework

#pragma once

#include <functional>
#include <vector>

#include <QPointer>
#include <QString>
#include <QWidget>

class QDialog;

namespace velmora::framework {

// Shows `mainWindow`, makes it the main window, and runs the application's
// message loop until that window has closed (a close its handlers refused
// does not count) or the loop is told to quit. Returns the loop's exit code.
int RunMessageLoopUntilClosed(QWidget& mainWindow);

// The window RunMessageLoopUntilClosed() shows while it is alive; before
// that, the first visible top-level window Qt lists; null when none is shown.
QWidget* MainWindow();

// Asks the application to end once the current message has been handled;
// the caller's code runs to its end first. From then on every event loop
// ends at once, so a modal box shown afterwards closes unanswered (result
// 0): ask the user before, not after.
void RequestTerminate();

// Dispatches every event pending for the GUI thread, then returns.
void ProcessPendingMessages();

// Runs the dialog modally: no other window takes input until it closes.
// Returns the dialog's result.
int ShowModal(QDialog& dialog);

// The windows DisableTaskWindows() disabled; windows deleted in the meantime
// drop out by themselves.
using TaskWindowList = std::vector<QPointer<QWidget>>;

// Disables every visible, enabled top-level window except `except`, and
// returns exactly those windows.
TaskWindowList DisableTaskWindows(QWidget* except);

// Enables the windows DisableTaskWindows() disabled, and no others: a window
// that was disabled before stays disabled.
void EnableTaskWindows(const TaskWindowList& windows);

// Runs `procedure` on the GUI thread and returns when it has run. From a
// worker thread the procedure is handed to the GUI thread's event loop, and
// an exception it throws is caught there and rethrown here; on the GUI
// thread itself (or with no application) it is simply called. The GUI
// thread must be running an event loop meanwhile: its main loop, a modal
// dialog, or WaitWithMessages(); blocking it any other way deadlocks.
void RunOnGuiThread(const std::function<void()>& procedure);

// A modal box with `text` and an OK button, the application title as its
// caption. Goes through the message box presenter.
void ShowMessage(const QString& text);

}  // namespace velmora::framework

#pragma once

#include <cstdint>
#include <functional>

#include <QLocale>
#include <QString>

class QWidget;

namespace velmora::framework {

// Helpers the windows share for the desktop around them. All run on the GUI
// thread.

// The user's Documents folder as the desktop names it (XDG user-dirs);
// empty text when that folder does not exist.
QString GetDocumentsFolder();

// True for an existing folder, following links. False only where the path
// says there is none: missing, not a folder, a broken link or a loop, a name
// too long; a folder under one we may not read still counts as existing. The
// path text is taken in the engine's byte mapping (TextToPath).
bool FolderExists(const QString& path);

// A file size for people: " Bytes", " KB", " MB", " GB" or " TB" in steps of
// 1024, the largest unit the size reaches, with two decimals and the
// locale's separators ("1,023.00 Bytes", "1.50 KB", and "1,024.00 KB" for
// one byte short of a megabyte, since the value rounds while the unit
// stays). There is no larger unit than TB: 1024 TB and more read
// "1,024.00 TB" and upwards. Sizes of 0 or less give empty text.
QString SizeToText(int64_t size, const QLocale& locale = QLocale());

// Gives the window the desktop's general font. Child widgets that carry a
// font of their own take only its family; their size, weight and style stay.
void ApplyMessageFont(QWidget* window);

// Keeps the GUI responsive for `milliseconds`: dispatches pending events and
// sleeps a millisecond, over and over; always at least one round.
void DelayWithMessages(int milliseconds);

// Returns once `done` is raised, dispatching the GUI thread's events
// meanwhile (a worker may hand work over with RunOnGuiThread()). Sleeps in
// a local event loop woken by the signal; a request to quit the application
// does not end the wait early. Replaces `done`'s notification and removes
// it again before returning. `Signal` is a one-shot signal raised by
// another thread: IsSignalled(), and SetNotification(function) whose
// function the raising thread runs (an empty one removes it).
void WaitWithMessages(const std::function<bool()>& signalled,
                      const std::function<void(std::function<void()>)>& setNotification);
template <class Signal>
void WaitWithMessages(Signal& done) {
    WaitWithMessages([&done] { return done.IsSignalled(); },
                     [&done](std::function<void()> notification) { done.SetNotification(std::move(notification)); });
}

// While disabled, the window refuses the desktop's requests to close (the
// title-bar button, the window menu, Alt+F4: spontaneous close events); the
// program's own close() still closes. The title-bar button stays as it is:
// changing window flags would re-create a window that is shown.
void SetCloseCommandEnabled(QWidget* window, bool enabled);

}  // namespace velmora::framework

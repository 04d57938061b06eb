#pragma once

#include <QApplication>
#include <QString>

namespace velmora::framework {

// The program's application object. Its title is the caption of message and
// error boxes; Run() shows the main window and keeps the program going until
// that window closes.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // The title lives outside the object, so boxes shown before the object
    // exists, or under another QApplication (tests), still find it.
    static void SetTitle(const QString& title);
    static QString Title();

    // Shows `mainWindow` and runs the message loop until that window has
    // closed (or RequestTerminate() is called); returns the loop's exit code.
    int Run(QWidget& mainWindow);

    // Qt cannot unwind an exception through its event loop; anything a
    // handler lets escape is shown in the default error box here and the
    // program goes on. Handlers should still be wrapped with Guarded(), this
    // is the backstop.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Our windows are designed around Tahoma ("MS Shell Dlg 2" on Windows). Where
// fontconfig does not list it, the copy fonts-wine installs is loaded; where
// there is none, both names map to DejaVu Sans Condensed, whose widths come
// closest, then DejaVu Sans. TApplication does this at start.
void MapDesignFonts();

}  // namespace velmora::framework

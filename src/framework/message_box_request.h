#pragma once

#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

namespace velmora::framework {

// The bottom of the message boxes: what one box shows, and the title boxes
// are captioned with. The dialog that shows a request, the presenter that
// hands it on and the application object that names the title all stand
// on this; it stands on nothing of ours.

// One button of a box.
struct MessageBoxChoice {
    QString caption;  // "&" marks the access key
    int result = 0;   // a negative result leaves the box open when pressed
    friend bool operator==(const MessageBoxChoice&, const MessageBoxChoice&) = default;
};

// Everything needed to show one message box, handed to the presenter.
struct MessageBoxRequest {
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;  // plain text, never read as markup
    std::vector<MessageBoxChoice> buttons;
    int defaultButton = 0;  // index into buttons
    int closeResult = 0;    // the result of Escape or the title-bar close
    // The window the box belongs to and the area it is centred over; filled
    // in by PresentMessageBox() from the active window, else the main
    // window, else the screen, when left empty.
    QPointer<QWidget> owner;
    QRect centreOn;
};

// The caption of boxes that have none of their own (errors, Custom
// messages). The application object hands its title over here, so that
// boxes shown before it exists, or under another QApplication (tests),
// still find it.
void SetMessageBoxTitle(const QString& title);
QString MessageBoxTitle();

}  // namespace velmora::framework

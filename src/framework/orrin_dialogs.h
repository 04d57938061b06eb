#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include "framework/message_box_request.h"
#include "framework/scoped_replacement.h"

namespace velmora::framework {

// What a message is about; decides the caption and the icon.
//   Warning       "Warning"                 warning icon
//   Error         "Error"                   stop icon
//   Information   "Information"             information icon
//   Confirmation  "Confirm"                 information icon
//   Custom        the application title     no icon
enum class MessageKind { Warning, Error, Information, Confirmation, Custom };

// The buttons a message box can carry, in the order they appear. The result
// is what CenteredMessageDlg() returns when the button is pressed:
//   Yes "&Yes" 6, No "&No" 7, OK "OK" 1, Cancel "Cancel" 2, Abort "&Abort" 3,
//   Retry "&Retry" 4, Ignore "&Ignore" 5, All "&All" 12, NoToAll "N&o to All" 13,
//   YesToAll "Yes to &All" 14, Help "&Help" -1 (leaves the box open),
//   Close "&Close" 8.
enum class MessageButton { Yes, No, OK, Cancel, Abort, Retry, Ignore, All, NoToAll, YesToAll, Help, Close };

inline constexpr int kMessageButtonCount = 12;

QString ButtonCaption(MessageButton button);
int ButtonResult(MessageButton button);

// A set of buttons; bit n stands for the button with value n above.
class MessageButtons {
public:
    constexpr MessageButtons() = default;
    constexpr MessageButtons(std::initializer_list<MessageButton> buttons) {
        for (MessageButton button : buttons) bits_ |= Bit(button);
    }
    constexpr bool Contains(MessageButton button) const { return (bits_ & Bit(button)) != 0; }
    constexpr bool IsEmpty() const { return bits_ == 0; }
    constexpr uint32_t Bits() const { return bits_; }

private:
    static constexpr uint32_t Bit(MessageButton button) { return uint32_t{1} << static_cast<unsigned>(button); }
    uint32_t bits_ = 0;
};

// Shows a message box and returns the result of the button pressed. Every
// box of the program goes through here: the error box, ShowMessage() and
// CenteredMessageDlg().
int PresentMessageBox(MessageBoxRequest request);

using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;

// Replaces the presenter; an empty one restores the real modal dialog.
// Returns the presenter that was in place.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);
using ScopedMessageBoxPresenter = ScopedReplacement<MessageBoxPresenter, &SetMessageBoxPresenter>;

// A modal message box with the caption and icon of `kind`, `text`, and one
// button per member of `buttons` in the table order (an empty set shows OK).
// OK is the default button when present, else the first one. The box is
// centred over the active window, else over the main window. Returns the
// result of the button pressed; Escape or closing the box returns Cancel's
// result when Cancel is offered and 0 otherwise; 0 when the box cannot be
// shown (no application, or not called on the GUI thread).
int CenteredMessageDlg(const QString& text, MessageKind kind, MessageButtons buttons);

// Asks for an existing folder in a dialog titled "Select Directory" that
// opens at `initial`, or at the file-system root when `initial` is empty.
// Returns the folder chosen, or empty text when the dialog was cancelled.
QString PickFolder(const QString& initial);

using FolderPicker = std::function<QString(const QString& title, const QString& startFolder)>;

// Replaces the folder dialog; an empty one restores the real one. Returns
// the picker that was in place.
FolderPicker SetFolderPicker(FolderPicker picker);
using ScopedFolderPicker = ScopedReplacement<FolderPicker, &SetFolderPicker>;

}  // namespace velmora::framework

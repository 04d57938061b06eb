#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "framework/message_box_request.h"

namespace velmora::framework {

// The real message box behind the default presenter: icon and text side by
// side, the buttons in one row in the order of the request (QDialogButtonBox
// would reorder them by platform role). A button with a negative result
// (Help) does not close the box; Escape and the title-bar close end it with
// the request's closeResult.
class MessageBoxDialog : public QDialog {
public:
    explicit MessageBoxDialog(const MessageBoxRequest& request, QWidget* parent = nullptr);

    void reject() override;

private:
    int closeResult_ = 0;
};

// Top-left corner that centres a box of `boxSize` over `area`, with integer
// halves as the window designs assume, kept on screen at the top and left.
QPoint CentredTopLeft(const QRect& area, const QSize& boxSize);

// The default presenter: builds the dialog, centres it and runs it modally.
// Returns 0 without showing anything when there is no application or the
// caller is not on the GUI thread.
int ExecMessageBoxDialog(const MessageBoxRequest& request);

}  // namespace velmora::framework

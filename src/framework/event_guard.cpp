#include "framework/event_guard.h"

#include <QMessageBox>

#include "framework/orrin_dialogs.h"

namespace velmora::framework {

QString DefaultErrorBoxText(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') return message;
    return message + u'.';
}

QString ExceptionText(const std::exception_ptr& error) {
    if (!error) return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return QString::fromUtf8(exception.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred");
    }
}

void ShowDefaultErrorBox(const std::exception_ptr& error) {
    if (!error) return;
    MessageBoxRequest request;
    request.caption = MessageBoxTitle();
    request.icon = QMessageBox::Critical;
    request.text = DefaultErrorBoxText(ExceptionText(error));
    request.buttons = {{ButtonCaption(MessageButton::OK), ButtonResult(MessageButton::OK)}};
    PresentMessageBox(std::move(request));
}

}  // namespace velmora::framework

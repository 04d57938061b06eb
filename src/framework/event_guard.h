#pragma once

#include <concepts>
#include <exception>
#include <utility>

#include <QString>

namespace velmora::framework {

// Qt does not support exceptions thrown through its event loop, so every
// event handler of the program runs inside RunGuarded()/Guarded(): whatever
// escapes is shown in the default error box and the program goes on.

// The message with a full stop appended when its last character sorts after
// "." (letters, digits, and also "/", ":" and "?"); "Failed" becomes
// "Failed." and "Why?" "Why?.", while "Done.", "Stop!", "(x)" and "" stay
// as they are.
QString DefaultErrorBoxText(const QString& message);

// what() of a std::exception, read as UTF-8; a neutral text for anything
// else; empty for a null pointer.
QString ExceptionText(const std::exception_ptr& error);

// The default error box: modal, stop icon, one OK button, the application
// title as caption, DefaultErrorBoxText(ExceptionText(error)) as text. Goes
// through the message box presenter (orrin_dialogs.h). Does nothing for a
// null pointer.
void ShowDefaultErrorBox(const std::exception_ptr& error);

// Runs `handler`; an exception it throws is shown in the default error box
// instead of escaping.
template <class Handler>
void RunGuarded(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        try {
            ShowDefaultErrorBox(std::current_exception());
        } catch (...) {
            // Nothing is left to tell the user with; the program goes on.
        }
    }
}

// Wraps a handler so that it can be connected as a slot and runs guarded.
// The wrapper accepts only the arguments the handler accepts, so Qt's
// connect() drops signal arguments the handler does not take (clicked(bool)
// to a handler without parameters).
template <class Handler>
auto Guarded(Handler handler) {
    return [handler = std::move(handler)](auto&&... arguments) mutable
               requires std::invocable<Handler&, decltype(arguments)...>
    {
        RunGuarded([&] { handler(std::forward<decltype(arguments)>(arguments)...); });
    };
}

}  // namespace velmora::framework

#pragma once

#include <utility>

namespace velmora::framework {

// Swaps one of the program's replaceable handlers (a dialog presenter, a
// folder picker, the shell open) for the life of the object and puts the previous one back
// afterwards, so a test can answer dialogs without anything blocking.
// `Set` installs a handler and returns the one that was in place.
template <class Handler, Handler (*Set)(Handler)>
class ScopedReplacement {
public:
    explicit ScopedReplacement(Handler replacement) : previous_(Set(std::move(replacement))) {}
    ~ScopedReplacement() { Set(std::move(previous_)); }
    ScopedReplacement(const ScopedReplacement&) = delete;
    ScopedReplacement& operator=(const ScopedReplacement&) = delete;

private:
    Handler previous_;
};

}  // namespace velmora::framework

#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace velmora::components {

// Whether a compositing manager runs on the X screen that `window` is on,
// that is, whether the selection _NET_WM_CM_S<n> of that screen's number n
// has an owner. The number is the X screen's, never a monitor's: the
// monitors of one X screen share its compositor. A window of 0, or one the
// server does not know, stands for the first screen.
bool X11CompositorRuns(xcb_connection_t* connection, std::uint32_t window);

}  // namespace velmora::components

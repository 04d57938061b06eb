#include "components/x11_compositor.h"

#include <cstdlib>
#include <memory>
#include <string>

#include <xcb/xcb.h>

namespace velmora::components {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

// The number of the X screen whose root window is the root of `window`.
int ScreenNumberOf(xcb_connection_t* connection, xcb_window_t window) {
    if (window == XCB_WINDOW_NONE) return 0;
    xcb_generic_error_t* error = nullptr;
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error));
    std::free(error);
    if (!geometry) return 0;
    int number = 0;
    for (xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection)); screen.rem > 0;
         xcb_screen_next(&screen), ++number)
        if (screen.data->root == geometry->root) return number;
    return 0;
}

}  // namespace

bool X11CompositorRuns(xcb_connection_t* connection, std::uint32_t window) {
    if (connection == nullptr || xcb_connection_has_error(connection) != 0) return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(ScreenNumberOf(connection, window));
    // Only if it exists: a selection nobody ever named has no owner, and
    // asking for the owner of atom None is an error (BadAtom).
    xcb_generic_error_t* error = nullptr;
    const ReplyPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.data()), &error));
    std::free(error);
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    error = nullptr;
    const ReplyPtr<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), &error));
    std::free(error);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace velmora::components

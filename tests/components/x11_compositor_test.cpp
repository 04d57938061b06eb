// Whether a compositor runs, asked of an X server of the test's own with two
// X screens (skipped where no Xvfb is installed).
#include "components/x11_compositor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <QFileInfo>
#include <QProcess>

#include <xcb/xcb.h>

namespace velmora::components {
namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";

// Xvfb with two screens on a display number it picks itself and prints.
class TwoScreenServer {
public:
    bool Start() {
        process_.start(kXvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24", "-screen", "1",
                               "320x240x24"});
        if (!process_.waitForStarted()) return false;
        QByteArray number;
        while (!number.endsWith('\n')) {
            if (!process_.waitForReadyRead(20000)) return false;  // bounds a server that never comes up
            number += process_.readAllStandardOutput();
        }
        display_ = ":" + number.trimmed().toStdString();
        return true;
    }
    ~TwoScreenServer() {
        process_.terminate();
        process_.waitForFinished();
    }
    const std::string& Display() const { return display_; }

private:
    QProcess process_;
    std::string display_;
};

class Client {
public:
    explicit Client(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {}
    ~Client() { xcb_disconnect(connection_); }
    xcb_connection_t* Connection() const { return connection_; }
    bool Ok() const { return xcb_connection_has_error(connection_) == 0; }

    std::vector<xcb_screen_t*> Screens() const {
        std::vector<xcb_screen_t*> screens;
        for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_)); it.rem > 0; xcb_screen_next(&it))
            screens.push_back(it.data);
        return screens;
    }
    xcb_window_t WindowOn(int screenNumber) const {
        xcb_screen_t* screen = Screens().at(static_cast<size_t>(screenNumber));
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        Sync();
        return window;
    }
    // A compositor claims its screen's selection; `owner` of none lets it go.
    void Claim(int screenNumber, xcb_window_t owner) const {
        const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr);
        ASSERT_NE(atom, nullptr);
        xcb_set_selection_owner(connection_, owner, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        Sync();
    }
    // Returns once the server has handled everything sent before.
    void Sync() const { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

private:
    xcb_connection_t* connection_;
};

TEST(X11Compositor, TheSelectionOfTheWindowsOwnXScreenDecides) {
    if (!QFileInfo::exists(kXvfb)) GTEST_SKIP() << "no Xvfb";
    TwoScreenServer server;
    ASSERT_TRUE(server.Start());
    Client program(server.Display()), compositor(server.Display());
    ASSERT_TRUE(program.Ok());
    ASSERT_TRUE(compositor.Ok());
    ASSERT_EQ(program.Screens().size(), 2u);
    const xcb_window_t first = program.WindowOn(0), second = program.WindowOn(1);
    const xcb_window_t onFirst = compositor.WindowOn(0), onSecond = compositor.WindowOn(1);

    struct Case {
        const char* name;
        int claimed;  // the screen whose selection the compositor owns, -1 none
        xcb_window_t window;
        bool runs;
    };
    // In order: the first rows ask before any program ever named a selection.
    const Case cases[] = {
        {"nothing named yet, first screen", -1, first, false},
        {"nothing named yet, second screen", -1, second, false},
        {"a compositor on the second screen, asked for it", 1, second, true},
        {"a compositor on the second screen, asked for the first", 1, first, false},
        {"a compositor on the first screen, asked for it", 0, first, true},
        {"a compositor on the first screen, asked for the second", 0, second, false},
        {"no window stands for the first screen", 0, XCB_WINDOW_NONE, true},
        {"a window the server does not know stands for the first screen", 0, 0x7fffff, true},
    };
    int claimed = -1;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        if (test.claimed != claimed) {
            if (claimed >= 0) compositor.Claim(claimed, XCB_WINDOW_NONE);
            compositor.Claim(test.claimed, test.claimed == 0 ? onFirst : onSecond);
            claimed = test.claimed;
        }
        EXPECT_EQ(X11CompositorRuns(program.Connection(), test.window), test.runs);
    }
    // No question left an error behind for the program's event loop.
    program.Sync();
    xcb_generic_event_t* event = xcb_poll_for_event(program.Connection());
    EXPECT_EQ(event, nullptr) << "response type " << (event ? int(event->response_type) : 0);
    std::free(event);
    EXPECT_FALSE(X11CompositorRuns(nullptr, first));
}

}  // namespace
}  // namespace velmora::components

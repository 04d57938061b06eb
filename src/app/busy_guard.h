#pragma once

#include <initializer_list>
#include <vector>

#include <QWidget>

#include "framework/desktop_helpers.h"

namespace velmora::app {

// While a scan, a waited listing or a cleaning run goes on: the controls
// that would leave or change the page are off, and the desktop may not close
// the window (unless `refuseClose` is false: the window then answers the
// request itself). Everything is restored however the work ends.
class BusyGuard {
public:
    BusyGuard(QWidget* window, bool& busy, std::initializer_list<QWidget*> controls, bool refuseClose = true)
        : window_(window), busy_(busy), controls_(controls), refuseClose_(refuseClose) {
        busy_ = true;
        if (refuseClose_) framework::SetCloseCommandEnabled(window_, false);
        for (QWidget* control : controls_) control->setEnabled(false);
    }
    ~BusyGuard() {
        for (QWidget* control : controls_) control->setEnabled(true);
        if (refuseClose_) framework::SetCloseCommandEnabled(window_, true);
        busy_ = false;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    QWidget* window_;
    bool& busy_;
    std::vector<QWidget*> controls_;
    bool refuseClose_;
};

}  // namespace velmora::app

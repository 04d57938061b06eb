#pragma once

#include <initializer_list>
#include <vector>

#include <QWidget>

#include "framework/desktop_helpers.h"

namespace velmora::app {

// While a scan, a waited listing or a cleaning run goes on: the desktop may
// not close the window, and the controls that would leave or change the page
// are off. Everything is restored however the work ends.
class BusyGuard {
public:
    BusyGuard(QWidget* window, bool& busy, std::initializer_list<QWidget*> controls)
        : window_(window), busy_(busy), controls_(controls) {
        busy_ = true;
        framework::SetCloseCommandEnabled(window_, false);
        for (QWidget* control : controls_) control->setEnabled(false);
    }
    ~BusyGuard() {
        for (QWidget* control : controls_) control->setEnabled(true);
        framework::SetCloseCommandEnabled(window_, true);
        busy_ = false;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    QWidget* window_;
    bool& busy_;
    std::vector<QWidget*> controls_;
};

}  // namespace velmora::app

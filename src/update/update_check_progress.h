#pragma once

#include <QDialog>
#include <QLabel>

#include "components/d_progress_bar.h"

namespace velmora::update {

// The small window a scheduled update check shows while it runs.
class TUpdateCheckProgress : public QDialog {
public:
    // Centred over `owner`, or over the main window when it has none.
    explicit TUpdateCheckProgress(QWidget* owner = nullptr);

    QLabel* lblTop = nullptr;
    components::TDProgressBar* pbCheckingForUpdates = nullptr;
    QLabel* lblBottom = nullptr;

    // Escape does not hide the window: the check decides when it goes.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* owner_;
};

}  // namespace velmora::update

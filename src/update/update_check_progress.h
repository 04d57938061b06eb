#pragma once

#include <functional>

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

    // The close box or Escape: the user wants the check to end now. The
    // check decides when the window goes.
    std::function<void()> OnCloseRequested;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* owner_;
};

}  // namespace velmora::update

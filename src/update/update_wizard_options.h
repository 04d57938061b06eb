#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

namespace velmora::update {

// The update options: how often to check and a proxy. The wizard keeps the
// values while it is open; nothing stores or applies them.
class TUpdateWizardOptions : public QDialog {
public:
    explicit TUpdateWizardOptions(QWidget* owner = nullptr);

    QCheckBox* chkCheckForUpdatesEvery = nullptr;
    QComboBox* cbCheckForUpdatesEvery = nullptr;
    QLineEdit* txtProxyServer = nullptr;
    QLineEdit* txtProxyUser = nullptr;
    QLineEdit* txtProxyPwd = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

    void chkCheckForUpdatesEveryClick();
};

}  // namespace velmora::update

// Velmora: finds and removes hidden metadata from legacy Office documents.
#include <QStyleFactory>

#include "app/main_window.h"
#include "components/tw/tw_style.h"
#include "framework/velmora_application.h"

int main(int argc, char** argv) {
    // Registered before any window exists, so every window sees one number.
    velmora::tw::StyleChangedMessage();
    velmora::framework::TApplication application(argc, argv);
    velmora::framework::TApplication::SetTitle(QStringLiteral("Velmora"));
    // The designs' 17-, 21- and 25-pixel controls fit Fusion under any theme.
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    velmora::app::TfrmVelmoraMain window;
    return application.Run(window);
}

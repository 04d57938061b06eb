// Velmora: finds and removes hidden metadata from legacy Office documents.
#include <QGuiApplication>
#include <QIcon>
#include <QStyleFactory>

#include "app/main_window.h"
#include "components/tw/tw_header.h"
#include "components/tw/tw_style.h"
#include "framework/velmora_application.h"

int main(int argc, char** argv) {
    // Registered before any window exists, so every window sees one number.
    velmora::tw::StyleChangedMessage();
    velmora::framework::TApplication application(argc, argv);
    velmora::framework::TApplication::SetTitle(QStringLiteral("Velmora"));
    // The desktop entry's name: Wayland matches windows to it by this, X11
    // by the window class (the entry's StartupWMClass).
    QGuiApplication::setDesktopFileName(QStringLiteral("example.ternwick.Velmora"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("example.ternwick.Velmora"),
                                                    velmora::tw::PictureIcon(QStringLiteral("VELMORA_ICON"))));
    // The designs' 17-, 21- and 25-pixel controls fit Fusion under any theme.
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    velmora::app::TfrmVelmoraMain window;
    return application.Run(window);
}

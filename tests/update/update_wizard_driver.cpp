// Opens the update wizard on an address given on the command line, as the
// program's scheduled check would after a Yes: for looking at the wizard
// against a loopback server (screenshots), not a test by itself.
//   update_wizard_driver ADDRESS [CA_FILE]
//   update_wizard_driver --scheduled ADDRESS [CA_FILE]
#include <cstdio>

#include <QStyleFactory>

#include "components/tw/tw_style.h"
#include "framework/velmora_application.h"
#include "update/check_for_updates.h"

int main(int argc, char** argv) {
    velmora::tw::StyleChangedMessage();
    velmora::framework::TApplication application(argc, argv);
    velmora::framework::TApplication::SetTitle(QStringLiteral("Velmora"));
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    velmora::framework::MapDesignFonts();
    QStringList arguments = application.arguments().mid(1);
    const bool scheduled = !arguments.isEmpty() && arguments.first() == QLatin1String("--scheduled");
    if (scheduled) arguments.removeFirst();
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: update_wizard_driver [--scheduled] ADDRESS [CA_FILE]\n");
        return 2;
    }
    if (arguments.size() > 1) velmora::update::SetUpdateCaFileForTesting(arguments.at(1));
    if (scheduled) {
        double lastCheck = 0;
        velmora::update::ScheduledUpdateCheck(arguments.first(), lastCheck, velmora::update::ufEveryStart);
    } else {
        velmora::update::ShowUpdateWizard(arguments.first());
    }
    return 0;
}

#include "framework/velmora_application.h"

#include <exception>

#include <QFont>
#include <QFontDatabase>

#include "framework/event_guard.h"
#include "framework/message_box_request.h"
#include "framework/framework_services.h"

namespace velmora::framework {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    MapDesignFonts();
}

void TApplication::SetTitle(const QString& title) {
    // Not Qt's display name: on X11 and Wayland Qt appends that to every
    // window title, and a box captioned "Warning" must say just that.
    SetMessageBoxTitle(title);
}

QString TApplication::Title() { return MessageBoxTitle(); }

int TApplication::Run(QWidget& mainWindow) { return RunMessageLoopUntilClosed(mainWindow); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // Not inside the event that failed, which may be a paint or a resize:
        // the box comes once that event is over, on the GUI thread.
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] { RunGuarded([&] { ShowDefaultErrorBox(error); }); },
            Qt::QueuedConnection);
        return false;
    }
}

void MapDesignFonts() {
    const QString tahoma = QStringLiteral("Tahoma");
    const QString dialogFont = QStringLiteral("MS Shell Dlg 2");
    auto listed = [&] { return QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive); };
    if (!listed()) {
        // Debian's fonts-wine ships Tahoma outside fontconfig's paths. Only
        // the regular face: its "Bold" (tahomabd.ttf) has a bold face's
        // widths but the regular strokes, so bold captions drew light.
        // Without it, a bold Tahoma is the regular face emboldened.
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
    }
    // Tahoma has no Chinese, Japanese or Korean glyphs: names in those
    // scripts come from WenQuanYi Micro Hei (Debian's fonts-wqy-microhei).
    const QString cjk = QStringLiteral("WenQuanYi Micro Hei");
    if (listed()) {
        QFont::insertSubstitutions(tahoma, {cjk});
        QFont::insertSubstitutions(dialogFont, {tahoma, cjk});
        return;
    }
    // Condensed comes closer to Tahoma's widths than the regular cut.
    const QStringList replacements{QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"), cjk};
    QFont::insertSubstitutions(tahoma, replacements);
    QFont::insertSubstitutions(dialogFont, replacements);
}

}  // namespace velmora::framework

#include "shared/units/wb_container.h"

#include <QMenu>

namespace velmora::shared {

TWBContainer::TWBContainer(QWidget* browser) : TNulWBContainer(browser) {}

int32_t TWBContainer::ShowContextMenu(uint32_t, QPoint screenPoint) {
    if (!CustomContextMenu) return kHostFalse;
    if (QMenu* menu = HostedBrowser()->PopupMenu()) menu->popup(screenPoint);
    return kHostOk;
}

int32_t TWBContainer::GetHostInfo(DocHostUiInfo& info) {
    info = DocHostUiInfo();
    info.cbSize = kDocHostUiInfoSize;
    if (!ScrollBarsVisible) info.dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
    if (!BorderVisible) info.dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
    if (!TextSelectable) info.dwFlags |= DOCHOSTUIFLAG_DIALOG;
    // Qt styles every control it draws: visual styles are always on.
    info.dwFlags |= DOCHOSTUIFLAG_THEME;
    info.pchHostCss = HostCSS;
    return kHostOk;
}

}  // namespace velmora::shared

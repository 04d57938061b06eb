#pragma once

#include "shared/units/nul_wb_container.h"

namespace velmora::shared {

// A host with switches: the page view it serves can be made to blend into
// a dialog (no frame, no text selection, no context menu).
class TWBContainer : public TNulWBContainer {
public:
    explicit TWBContainer(QWidget* browser);

    // True: the view's standard context menu never shows; the view's own
    // popup menu shows instead, if it has one.
    bool CustomContextMenu = false;
    bool ScrollBarsVisible = true;
    bool BorderVisible = true;
    bool TextSelectable = true;
    QString HostCSS;  // default style sheet of every page the view shows

    int32_t ShowContextMenu(uint32_t menuId, QPoint screenPoint) override;
    // Flags from the switches, themed controls (always on here) and HostCSS.
    int32_t GetHostInfo(DocHostUiInfo& info) override;
};

}  // namespace velmora::shared

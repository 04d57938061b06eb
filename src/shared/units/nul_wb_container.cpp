#include "shared/units/nul_wb_container.h"

#include <cassert>
#include <stdexcept>

#include <QWidget>

namespace velmora::shared {

TNulWBContainer::TNulWBContainer(QWidget* browser) : browser_(browser), hosted_(dynamic_cast<IHostedBrowser*>(browser)) {
    assert(browser != nullptr && "a host needs a page view");
    if (hosted_ == nullptr) throw std::runtime_error("Browser's Default interface does not support IOleObject");
    setClientSite(this);
}

TNulWBContainer::~TNulWBContainer() { setClientSite(nullptr); }

void TNulWBContainer::setClientSite(TNulWBContainer* site) {
    assert((site == nullptr || site == this) && "only this host or none may be registered");
    hosted_->SetClientSite(site);
}

int32_t TNulWBContainer::ShowContextMenu(uint32_t, QPoint) { return kHostFalse; }
int32_t TNulWBContainer::GetHostInfo(DocHostUiInfo&) { return kHostOk; }
int32_t TNulWBContainer::TranslateAccelerator(int) { return kHostFalse; }

}  // namespace velmora::shared

#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QTextBrowser>
#include <QUrl>

#include "shared/units/nul_wb_container.h"
#include "update/http_transfer.h"

namespace velmora::update {

class PageFetch;

// Shows a page from a web server inside a dialog. It is a rich-text view,
// not a browser: it runs no script and loads nothing the page refers to
// (no pictures, no style sheets, no local files); a click on a web link
// opens the user's own browser, and no click ever loads anything into the
// view itself. The page arrives through PageFetch, off the GUI thread.
// A host (TWBContainer) decides its frame, selection, scroll bars, context
// menu and default style sheet each time it navigates.
class TPageView : public QTextBrowser, public shared::IHostedBrowser {
public:
    explicit TPageView(QWidget* parent = nullptr);
    ~TPageView() override;

    void SetClientSite(shared::TNulWBContainer* site) override { site_ = site; }
    shared::TNulWBContainer* ClientSite() const { return site_; }
    // The view's own popup menu (not owned); none by default.
    QMenu* PopupMenu() const override { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

    // Shows the page `request` fetches, once it has arrived; a navigation
    // still running is dropped.
    void Navigate(const HttpTransfer::Request& request);
    // The page cannot be fetched at all (its address was refused).
    void ShowLoadFailure();
    // Drops the navigation that is running, if any.
    void Stop();
    bool Loading() const { return fetch_ != nullptr; }
    const QUrl& Address() const { return address_; }

    // After each navigation that ended: whether the page arrived.
    std::function<void(bool ok)> OnPageLoaded;

    // Asks the host how to look, and looks so.
    void ApplyHostInfo();

    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void pageArrived(uint64_t navigation, bool ok, const QString& text);
    void openLink(const QUrl& link);

    shared::TNulWBContainer* site_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    std::unique_ptr<PageFetch> fetch_;
    uint64_t navigation_ = 0;
    QUrl address_;
};

}  // namespace velmora::update

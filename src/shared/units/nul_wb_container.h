#pragma once

#include <cstdint>

#include <QPoint>
#include <QString>

class QMenu;
class QWidget;

namespace velmora::shared {

// Answers a hosted page view gives back, as the browser-host protocol has them.
enum HostAnswer : int32_t {
    kHostOk = 0,       // handled
    kHostFalse = 1,    // not handled: the view does what it would do alone
    kHostFail = -1,    // cannot answer
};

// What a host wants of the page view's look, filled in by GetHostInfo.
struct DocHostUiInfo {
    uint32_t cbSize = 0;
    uint32_t dwFlags = 0;
    uint32_t dwDoubleClick = 0;  // 0: the default behaviour
    QString pchHostCss;          // default style sheet of every page
};

inline constexpr uint32_t DOCHOSTUIFLAG_DIALOG = 0x1;        // text cannot be selected
inline constexpr uint32_t DOCHOSTUIFLAG_NO3DBORDER = 0x4;    // no frame
inline constexpr uint32_t DOCHOSTUIFLAG_SCROLL_NO = 0x8;     // no scroll bars
inline constexpr uint32_t DOCHOSTUIFLAG_THEME = 0x40000;     // themed controls
inline constexpr uint32_t DOCHOSTUIFLAG_NOTHEME = 0x80000;
inline constexpr uint32_t kDocHostUiInfoSize = 20;            // the record's size as the protocol counts it

class TNulWBContainer;

// A page view that consults a host about its user interface. The host
// registers itself with SetClientSite and unregisters with nullptr.
class IHostedBrowser {
public:
    virtual ~IHostedBrowser() = default;
    virtual void SetClientSite(TNulWBContainer* site) = 0;
    // The control's own popup menu, if it has one.
    virtual QMenu* PopupMenu() const = 0;
};

// The neutral host of a page view: it registers itself with the view and
// answers every question so that the view behaves as it would alone.
// Destroy the host before the view.
class TNulWBContainer {
public:
    // `browser` must be a page view that takes a host (IHostedBrowser).
    explicit TNulWBContainer(QWidget* browser);
    virtual ~TNulWBContainer();
    TNulWBContainer(const TNulWBContainer&) = delete;
    TNulWBContainer& operator=(const TNulWBContainer&) = delete;

    QWidget* Browser() const { return browser_; }
    IHostedBrowser* HostedBrowser() const { return hosted_; }

    // The view is about to show its standard context menu at `screenPoint`.
    // kHostOk: the host has dealt with it and the view shows nothing.
    virtual int32_t ShowContextMenu(uint32_t menuId, QPoint screenPoint);
    // The view asks how it should look; `info` is left as given.
    virtual int32_t GetHostInfo(DocHostUiInfo& info);
    // A key the view is about to handle; kHostFalse: the host did not.
    virtual int32_t TranslateAccelerator(int key);

private:
    void setClientSite(TNulWBContainer* site);

    QWidget* browser_;
    IHostedBrowser* hosted_;
};

}  // namespace velmora::shared

#include "update/page_view.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QTextDocument>

#include "framework/event_guard.h"
#include "framework/shell_open.h"
#include "update/page_fetch.h"
#include "update/page_markup.h"
#include "update/update_address.h"

namespace velmora::update {

namespace {

const char kLoadFailure[] = "The description of this update could not be loaded.";

// A document that loads nothing a page refers to: no pictures, no style
// sheets, nothing from the disk or the network. QTextDocument reads local
// files itself when its view's loader returns nothing, and its picture
// handler loads any picture it is not given; so every picture is given, as
// one transparent pixel.
class InertDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl&) override {
        if (type != QTextDocument::ImageResource) return QVariant();
        QImage nothing(1, 1, QImage::Format_ARGB32);
        nothing.fill(Qt::transparent);
        return nothing;
    }
};

}  // namespace

TPageView::TPageView(QWidget* parent) : QTextBrowser(parent) {
    setDocument(new InertDocument(this));
    // Links never navigate the view: not to a local file, not anywhere.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        framework::RunGuarded([&] { openLink(link); });
    });
}

TPageView::~TPageView() { fetch_.reset(); }

void TPageView::Navigate(const HttpTransfer::Request& request) {
    Stop();
    ApplyHostInfo();
    address_ = QUrl(request.url);
    clear();
    const uint64_t navigation = ++navigation_;
    fetch_ = std::make_unique<PageFetch>(request, this, [this, navigation](bool ok, const QString& text) {
        framework::RunGuarded([&] { pageArrived(navigation, ok, text); });
    });
}

void TPageView::ShowLoadFailure() {
    Stop();
    ApplyHostInfo();
    setPlainText(QString::fromUtf8(kLoadFailure));
    if (OnPageLoaded) OnPageLoaded(false);
}

void TPageView::Stop() {
    ++navigation_;
    fetch_.reset();
}

void TPageView::pageArrived(uint64_t navigation, bool ok, const QString& text) {
    if (navigation != navigation_) return;
    fetch_.reset();
    if (ok) {
        // Laid out only once reduced: Qt's layout has no bound of its own.
        setHtml(ReducePageMarkup(text, address_));
    } else {
        setPlainText(QString::fromUtf8(kLoadFailure));
    }
    if (OnPageLoaded) OnPageLoaded(ok);
}

void TPageView::openLink(const QUrl& link) {
    const QUrl target = address_.resolved(link);
    if (IsWebAddress(target.toString())) framework::ShellOpenAddress(target);
}

QVariant TPageView::loadResource(int, const QUrl&) { return QVariant(); }

void TPageView::ApplyHostInfo() {
    shared::DocHostUiInfo info;
    if (site_ == nullptr || site_->GetHostInfo(info) != shared::kHostOk) info = shared::DocHostUiInfo();
    setFrameShape(info.dwFlags & shared::DOCHOSTUIFLAG_NO3DBORDER ? QFrame::NoFrame : QFrame::StyledPanel);
    setTextInteractionFlags(info.dwFlags & shared::DOCHOSTUIFLAG_DIALOG ? Qt::LinksAccessibleByMouse
                                                                         : Qt::TextBrowserInteraction);
    const Qt::ScrollBarPolicy scrolling =
        info.dwFlags & shared::DOCHOSTUIFLAG_SCROLL_NO ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(scrolling);
    setVerticalScrollBarPolicy(scrolling);
    document()->setDefaultStyleSheet(info.pchHostCss);
}

void TPageView::contextMenuEvent(QContextMenuEvent* event) {
    if (site_ != nullptr && site_->ShowContextMenu(0, event->globalPos()) == shared::kHostOk) {
        event->accept();
        return;
    }
    QTextBrowser::contextMenuEvent(event);
}

}  // namespace velmora::update

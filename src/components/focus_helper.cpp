#include "components/focus_helper.h"

#include <cmath>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QVariant>

#if VELMORA_HAVE_XCB
#include "components/x11_compositor.h"
#endif

namespace velmora::components {

namespace {

// Draws the glow: its image, cut by the mask Qt keeps for the hole.
class GlowSurface : public QWidget {
public:
    GlowSurface(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (isWindow()) painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, image);
    }
};

bool IsInnerEditOf(const QWidget* control, const QWidget* parent) {
    return qobject_cast<const QLineEdit*>(control) != nullptr &&
           (qobject_cast<const QComboBox*>(parent) != nullptr || qobject_cast<const QAbstractSpinBox*>(parent) != nullptr);
}

bool HasTag(const QWidget* control, int tag) {
    if (control == nullptr) return false;
    // A control nobody tagged has the tag 0, like every new control.
    const QVariant property = control->property("tag");
    if (!property.isValid()) return tag == 0;
    bool ok = false;
    const int value = property.toInt(&ok);
    return ok && value == tag;
}

// A month calendar is made of inner views and buttons that take the focus in
// its place; none of them, nor the calendar, gets the glow.
bool IsInCalendar(const QWidget* widget) {
    for (const QWidget* at = widget; at != nullptr; at = at->parentWidget()) {
        if (qobject_cast<const QCalendarWidget*>(at)) return true;
        if (at->isWindow()) break;
    }
    return false;
}

// A menu, a completer list or a combo box's list takes the focus only while
// it is open and hands it back when it closes: for the control underneath
// that is no real loss of focus.
bool IsPopupFocusChange(const QFocusEvent& event) {
    return event.reason() == Qt::PopupFocusReason ||
           (event.reason() == Qt::ActiveWindowFocusReason && QApplication::activePopupWidget() != nullptr);
}

bool IsInPopup(const QWidget* widget) { return widget->window()->windowType() == Qt::Popup; }

// The helper serving the application-wide filter, and the filter itself.
class FocusWatcher : public QObject {
public:
    static FocusWatcher& Get() {
        static FocusWatcher* watcher = [] {
            auto* created = new FocusWatcher;
            qApp->installEventFilter(created);
            return created;
        }();
        return *watcher;
    }
    QPointer<TFocusHelper> active;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        TFocusHelper* helper = active;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (helper == nullptr || widget == nullptr || widget == helper->GlowWidget()) return false;
        switch (event->type()) {
        case QEvent::WindowActivate:
            if (widget->isWindow()) {
                // The helper of the window activated last serves the filter.
                for (TFocusHelper* own : widget->findChildren<TFocusHelper*>(Qt::FindDirectChildrenOnly)) active = own;
            }
            break;
        case QEvent::WindowDeactivate:
            if (QApplication::activePopupWidget() != nullptr) break;  // our own popup opened over the window
            [[fallthrough]];
        case QEvent::Close:
            if (helper->FocusedControl() && widget->isWindow() && helper->FocusedControl()->window() == widget) helper->Forget();
            break;
        case QEvent::FocusIn:
            if (IsInPopup(widget)) break;
            helper->Frame(widget);
            break;
        case QEvent::FocusOut:
            if (IsPopupFocusChange(*static_cast<QFocusEvent*>(event))) break;
            if (helper->FocusedControl() == widget) helper->Forget();
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange: {
            QWidget* framed = helper->FocusedControl();
            if (framed && (framed == widget || widget->isAncestorOf(framed))) helper->Follow();
            break;
        }
        default:
            break;
        }
        return false;
    }
};

TFocusHelper::GlowModeChooser& CurrentChooser() {
    static TFocusHelper::GlowModeChooser chooser;
    return chooser;
}

#if VELMORA_HAVE_XCB
bool X11HasCompositor(QWidget* control) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) return false;
    // The X screen is the one the control's window is on; without a native
    // window yet, the first.
    QWidget* window = control ? control->window() : nullptr;
    const auto id = window && window->windowHandle() ? static_cast<uint32_t>(window->winId()) : 0u;
    return X11CompositorRuns(x11->connection(), id);
}
#endif

}  // namespace

TFocusHelper::GlowModeChooser TFocusHelper::SetGlowModeChooser(GlowModeChooser chooser) {
    return std::exchange(CurrentChooser(), std::move(chooser));
}

TFocusHelper::GlowMode TFocusHelper::ChooseGlowMode(QWidget* control) {
    if (const GlowModeChooser& chooser = CurrentChooser()) return chooser(control);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen")) return GlowMode::Window;
#if VELMORA_HAVE_XCB
    if (platform == QLatin1String("xcb")) return X11HasCompositor(control) ? GlowMode::Window : GlowMode::Overlay;
#endif
    return GlowMode::Overlay;  // Wayland: a client cannot place its own top-level windows
}

TFocusHelper::TFocusHelper(QWidget* form) : QObject(nullptr), form_(form) {
    if (form == nullptr || !form->isWindow()) throw std::runtime_error("Control parent must be a form!");
    if (!form->findChildren<TFocusHelper*>(Qt::FindDirectChildrenOnly).isEmpty())
        throw std::runtime_error("The form already contains a TFocusHelper component");
    setParent(form);
    FocusWatcher& watcher = FocusWatcher::Get();
    if (!watcher.active) watcher.active = this;
}

TFocusHelper::~TFocusHelper() {
    // The glow belongs to the helper, never to a window that may go first.
    delete glow_;
    FocusWatcher& watcher = FocusWatcher::Get();
    if (watcher.active == this) watcher.active = nullptr;
}

void TFocusHelper::SetActive(bool value) {
    active_ = value;
    if (!value) {
        Forget();
        return;
    }
    // Only the helper serving the filter hears the focus leave again: one
    // that is not serving must not frame, or its glow would stay for good.
    TFocusHelper* serving = FocusWatcher::Get().active;
    if (QWidget* focused = QApplication::focusWidget(); serving != nullptr && focused != nullptr) serving->Frame(focused);
}

void TFocusHelper::SetBlur(int value) {
    if (value >= 0 && value <= 9) blur_ = value;
}

void TFocusHelper::SetSize(int value) {
    if (value >= 0 && value <= 14) size_ = value;
}

bool TFocusHelper::IsFocusControl(QWidget* control, QWidget* parent) const {
    bool result = true;
    if (ExcludeControls != 0) {
        if ((ExcludeControls & Bit(ecButton)) && qobject_cast<QPushButton*>(control)) result = false;
        if ((ExcludeControls & Bit(ecCheckBox)) && qobject_cast<QCheckBox*>(control)) result = false;
        if ((ExcludeControls & Bit(ecRadioButton)) && qobject_cast<QRadioButton*>(control)) result = false;
        if ((ExcludeControls & Bit(ecTagValue)) && HasTag(control, ControlTag)) result = false;
    }
    if (IncludeControls != 0) {
        // The include set decides alone.
        result = ((IncludeControls & Bit(icEdit)) && qobject_cast<QLineEdit*>(control) && !IsInnerEditOf(control, parent)) ||
                 ((IncludeControls & Bit(icMemo)) && (qobject_cast<QTextEdit*>(control) || qobject_cast<QPlainTextEdit*>(control))) ||
                 ((IncludeControls & Bit(icListBox)) && qobject_cast<QListView*>(control)) ||
                 ((IncludeControls & Bit(icComboBox)) && (qobject_cast<QComboBox*>(control) || qobject_cast<QComboBox*>(parent))) ||
                 ((IncludeControls & Bit(icDateTimePicker)) &&
                  (qobject_cast<QDateTimeEdit*>(control) || qobject_cast<QDateTimeEdit*>(parent))) ||
                 ((IncludeControls & Bit(icTagValue)) && HasTag(control, ControlTag));
    }
    return result;
}

QRect TFocusHelper::visibleRectOf(QWidget* framed) const {
    QWidget* parent = framed->parentWidget();
    // The inner edit of a combo or spin box: the box is framed.
    QWidget* shown = parent && IsInnerEditOf(framed, parent) ? parent : framed;
    QRect rect(shown->mapToGlobal(QPoint(0, 0)), shown->size());
    for (QWidget* ancestor = shown->parentWidget(); ancestor != nullptr; ancestor = ancestor->parentWidget()) {
        const QRect area(ancestor->mapToGlobal(QPoint(0, 0)), ancestor->size());
        if (area.width() > 0 && area.height() > 0) rect = rect.intersected(area);
        if (ancestor->isWindow()) break;
    }
    return rect;
}

void TFocusHelper::Frame(QWidget* widget) {
    if (widget == nullptr || widget == glow_) return;
    QWidget* parent = widget->parentWidget();
    bool show = IsFocusControl(widget, parent);
    if (!active_) {
        show = false;
    } else if (OnShowFocus) {
        OnShowFocus(*this, widget, show);
    }
    if (widget->isWindow() || IsInCalendar(widget)) show = false;
    if (!show) {
        Forget();
        return;
    }
    if (focused_ != widget) {
        QObject::disconnect(focusedGone_);
        // When the control goes, so does its glow.
        focusedGone_ = connect(widget, &QObject::destroyed, this, [this] { Forget(); });
    }
    focused_ = widget;
    lastWidth_ = lastHeight_ = -1;
    Follow();
}

void TFocusHelper::Follow() {
    QWidget* framed = focused_;
    if (framed == nullptr) {
        HideFocusWindow();
        return;
    }
    if (!framed->isVisible()) {
        Forget();
        return;
    }
    const QRect rect = visibleRectOf(framed);
    if (rect.isEmpty()) {
        // Scrolled out of sight: keep it framed, show nothing until it is back.
        HideFocusWindow();
        return;
    }
    const bool sameSize = rect.width() == lastWidth_ && rect.height() == lastHeight_ && glow_ && glow_->isVisible();
    lastWidth_ = rect.width();
    lastHeight_ = rect.height();
    placeGlow(rect, !sameSize);
}

void TFocusHelper::Forget() {
    QObject::disconnect(focusedGone_);
    focused_ = nullptr;
    HideFocusWindow();
}

void TFocusHelper::ShowFocusWindow(QRect screenRect) { placeGlow(screenRect, true); }

void TFocusHelper::MoveFocusWindow(QRect screenRect) { placeGlow(screenRect, false); }

void TFocusHelper::HideFocusWindow() {
    if (glow_) glow_->hide();
}

void TFocusHelper::placeGlow(QRect screenRect, bool render) {
    const int s = size_;
    QWidget* control = focused_ ? focused_.data() : form_;
    const GlowMode mode = ChooseGlowMode(control);
    QWidget* host = mode == GlowMode::Overlay ? control->window() : nullptr;
    if (glow_ && (mode != glowMode_ || glow_->parentWidget() != host)) {
        delete glow_;  // the mode changed: made again
        render = true;
    }
    if (!glow_) {
        GlowSurface* made = nullptr;
        if (mode == GlowMode::Window) {
            made = new GlowSurface(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
            made->setAttribute(Qt::WA_TranslucentBackground);  // before the native window exists
            made->setAttribute(Qt::WA_ShowWithoutActivating);
            made->setAttribute(Qt::WA_QuitOnClose, false);
        } else {
            made = new GlowSurface(host, Qt::Widget);
            made->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        made->setFocusPolicy(Qt::NoFocus);
        glow_ = made;
        glowMode_ = mode;
        render = true;
    }
    auto* glow = static_cast<GlowSurface*>(glow_.data());
    const bool glyph = !Glyph.isNull() && Glyph.width() > 0;
    const int g = glyph ? Glyph.width() + 4 : 0;
    glyphShift_ = glyph && GlyphPosition == gpBeforeControl ? g : 0;
    const int width = screenRect.width() + 2 * s + 1 + g;
    const int height = screenRect.height() + 2 * s + 1;
    // Drawn in the screen's own pixels: on a dense screen a glow drawn at
    // the logical size and scaled up has soft, doubled edges.
    const qreal ratio = control ? control->devicePixelRatioF() : 1.0;
    render = render || ratio != glowRatio_;
    glowRatio_ = ratio;
    if (render) {
        glow->hide();
        auto device = [ratio](int logical) { return static_cast<int>(std::lround(logical * ratio)); };
        const int deviceWidth = device(width), deviceHeight = device(height);
        QImage shape = DrawFocusShape(deviceWidth, deviceHeight, device(blur_), device(Rounding), device(s), GlyphPosition, device(g));
        QImage colours(deviceWidth, deviceHeight, QImage::Format_RGB888);
        const QColor colour = tw::ColorToQColor(Color, glow->palette());
        colours.fill(colour);
        if (glyph) {
            // Centred by its height (the first version used its width).
            const int top = Glyph.height() < height ? (height - Glyph.height()) / 2 : 0;
            const int x = GlyphPosition == gpBeforeControl ? 2 : width - g + 2;
            QPainter shapePainter(&shape);
            shapePainter.scale(ratio, ratio);
            shapePainter.drawImage(x, top, MakeGlyphSilhouette(Glyph));
            QPainter colourPainter(&colours);
            colourPainter.scale(ratio, ratio);
            colourPainter.drawImage(x, top, TransparentGlyph(Glyph));
        }
        TAlphaMask mask;
        mask.BuildFromShape(shape, colours);
        mask.ConstantAlpha = Opacity;
        glowImage_ = mask.BakedImage();
        // The hole over the control: alpha 0 in the image, and cut out.
        const QRect hole(s + glyphShift_, s, screenRect.width(), screenRect.height());
        {
            QPainter painter(&glowImage_);
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
            painter.fillRect(QRect(device(hole.x()), device(hole.y()), device(hole.width()), device(hole.height())), Qt::transparent);
        }
        glowImage_.setDevicePixelRatio(ratio);
        glow->image = glowImage_;
        glow->resize(width, height);
        glow->setMask(QRegion(0, 0, width, height).xored(QRegion(hole)));
    }
    const QPoint topLeft(screenRect.left() - s - glyphShift_, screenRect.top() - s);
    glow->move(host ? host->mapFromGlobal(topLeft) : topLeft);
    if (host) glow->raise();
    glow->show();
    glow->update();
}

}  // namespace velmora::components

#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include "components/focus_glow.h"
#include "components/tw/tw_color.h"

namespace velmora::components {

enum TIncludeControl { icEdit, icMemo, icListBox, icComboBox, icDateTimePicker, icTagValue };
enum TExcludeControl { ecButton, ecCheckBox, ecRadioButton, ecTagValue };
// Sets of the enumerations above: bit n for the value n.
using TIncludeControls = uint8_t;
using TExcludeControls = uint8_t;
constexpr uint8_t Bit(int value) { return static_cast<uint8_t>(1u << value); }

// Shows a soft glow around the control of a chosen kind that has the
// keyboard focus: a blurred rounded ring in `Color` at `Opacity`, leaving the
// control itself uncovered, following it as its containers move or resize,
// gone when the control loses the focus, its window is deactivated or
// closed, or the control goes. One per window; one application-wide event
// filter serves the helper of the window activated last.
class TFocusHelper : public QObject {
    Q_OBJECT  // found among a window's children by its class

public:
    // Raises std::runtime_error "Control parent must be a form!" unless `form`
    // is a window, and "The form already contains a TFocusHelper component"
    // for a second helper on it.
    explicit TFocusHelper(QWidget* form);
    ~TFocusHelper() override;

    bool Active() const { return active_; }
    // Off hides the glow; on frames the focused control again.
    void SetActive(bool value);
    int Blur() const { return blur_; }
    void SetBlur(int value);  // 0 to 9; other values are ignored
    tw::TColor Color = 0xFDD397;
    int ControlTag = 0;  // matched against the "tag" int property
    TExcludeControls ExcludeControls = 0;
    TIncludeControls IncludeControls = 0;
    int Size() const { return size_; }
    void SetSize(int value);  // 0 to 14; other values are ignored
    QImage Glyph;
    TGlyphPosition GlyphPosition = gpAfterControl;
    uint8_t Opacity = 230;
    uint8_t Rounding = 5;
    QString Version() const { return QStringLiteral("1.1.0.3"); }
    // May veto or force the glow for a control.
    std::function<void(TFocusHelper& sender, QWidget* control, bool& showFocus)> OnShowFocus;

    // Whether the glow is wanted for `control` (whose parent is `parent`).
    bool IsFocusControl(QWidget* control, QWidget* parent) const;
    // Renders the glow for a control showing `screenRect` and shows it.
    void ShowFocusWindow(QRect screenRect);
    void MoveFocusWindow(QRect screenRect);
    void HideFocusWindow();

    // The control framed now, and the widget the glow is drawn in.
    QWidget* FocusedControl() const { return focused_; }
    QWidget* GlowWidget() const { return glow_; }
    // The glow as rendered last (premultiplied, Opacity applied).
    const QImage& GlowImage() const { return glowImage_; }

    // Where the glow is drawn: a top-level window of its own where the
    // platform composites translucent windows and lets a client place them,
    // else an overlay child of the control's window.
    enum class GlowMode { Window, Overlay };
    using GlowModeChooser = std::function<GlowMode(QWidget* control)>;
    static GlowModeChooser SetGlowModeChooser(GlowModeChooser chooser);
    static GlowMode ChooseGlowMode(QWidget* control);

    // Called by the application-wide filter.
    void Frame(QWidget* widget);
    void Follow();
    void Forget();

private:
    void placeGlow(QRect screenRect, bool render);
    QRect visibleRectOf(QWidget* framed) const;

    QWidget* form_;
    bool active_ = true;
    int blur_ = 3;
    int size_ = 4;
    QPointer<QWidget> focused_;
    QMetaObject::Connection focusedGone_;
    QPointer<QWidget> glow_;
    GlowMode glowMode_ = GlowMode::Window;
    QImage glowImage_;
    qreal glowRatio_ = 1.0;  // the device pixel ratio the glow was drawn at
    int lastWidth_ = -1, lastHeight_ = -1;
    int glyphShift_ = 0;
};

}  // namespace velmora::components

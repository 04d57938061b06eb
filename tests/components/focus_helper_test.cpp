// The focus glow: its pictures, and the helper's framing rules, offscreen.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "components/focus_glow.h"
#include "components/focus_helper.h"

namespace velmora::components {
namespace {

TEST(FocusGlow, BlurKernelRadiiFollowTheDeviation) {
    const std::pair<double, int> cases[] = {{1, 2}, {2, 5}, {3, 8}, {4, 9}, {9, 9}};
    for (const auto& [deviation, radius] : cases) {
        const TBlurKernel kernel = BuildBlurKernel(deviation);
        EXPECT_EQ(kernel.Radius, radius) << deviation;
        double sum = 0;
        for (int k = -kernel.Radius; k <= kernel.Radius; ++k) sum += kernel.Weights[k + 10];
        EXPECT_NEAR(sum, 1.0, 1e-5);
    }
}

TEST(FocusGlow, BlurLineSumsInDoublePrecision) {
    // Flat lines whose sums land within a float's rounding of a whole number:
    // multiplied in single precision, each comes out one off.
    struct Case {
        double deviation;
        int value, blurred;
    };
    const Case cases[] = {{1, 107, 107}, {1, 214, 214}, {2, 9, 8}, {2, 30, 29}};
    for (const Case& test : cases) {
        const TBlurKernel kernel = BuildBlurKernel(test.deviation);
        std::vector<uint8_t> line(3 * 25, static_cast<uint8_t>(test.value));
        BlurLine(line.data(), 25, 3, kernel);
        EXPECT_EQ(line[3 * 12], test.blurred) << test.deviation << " " << test.value;
        EXPECT_EQ(line[3 * 12 + 2], test.blurred) << test.deviation << " " << test.value;
    }
}

TEST(FocusGlow, TheRingStandsOutEquallyOnEverySide) {
    // The window is the control plus a margin of `size` on each side plus one
    // pixel; the ring must still stand out as far right and down as left and up.
    struct Case {
        int size;
        TGlyphPosition position;
        int glyphWidth;
    };
    const Case cases[] = {{4, gpAfterControl, 0},  {0, gpAfterControl, 0},  {1, gpAfterControl, 0},
                          {2, gpAfterControl, 0},  {7, gpAfterControl, 0},  {14, gpAfterControl, 0},
                          {4, gpAfterControl, 14}, {4, gpBeforeControl, 14}, {7, gpBeforeControl, 14}};
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "size " << test.size << " glyph " << test.glyphWidth << " at " << test.position);
        const int s = test.size;
        const int holeLeft = s + (test.position == gpBeforeControl ? test.glyphWidth : 0);
        const QRect hole(holeLeft, s, 100, 20);
        const int width = 100 + 2 * s + 1 + test.glyphWidth, height = 20 + 2 * s + 1;
        const QImage shape = DrawFocusShape(width, height, 0, 5, s, test.position, test.glyphWidth);
        auto lit = [&](int x, int y) { return shape.pixelColor(x, y).red() > 0; };
        int first = 0, last = width - 1, top = 0, bottom = height - 1;
        while (first < width && !lit(first, hole.center().y())) ++first;
        while (last >= 0 && !lit(last, hole.center().y())) --last;
        while (top < height && !lit(hole.center().x(), top)) ++top;
        while (bottom >= 0 && !lit(hole.center().x(), bottom)) --bottom;
        const int outLeft = hole.left() - first, outRight = last - hole.right();
        const int outTop = hole.top() - top, outBottom = bottom - hole.bottom();
        EXPECT_EQ(outLeft, outRight);
        EXPECT_EQ(outTop, outBottom);
        EXPECT_EQ(outLeft, outTop);
    }
}

TEST(FocusGlow, AGlyphWithoutAlphaLosesTheColourOfItsBottomLeftPixel) {
    // A red mark on blue; the glyph with an alpha channel keeps its blue, as
    // only its alpha says what is transparent.
    QImage plain(4, 3, QImage::Format_RGB888);
    plain.fill(Qt::blue);
    plain.setPixelColor(1, 1, Qt::red);
    QImage withAlpha(4, 3, QImage::Format_ARGB32);
    withAlpha.fill(Qt::transparent);
    withAlpha.setPixelColor(1, 1, Qt::red);
    withAlpha.setPixelColor(3, 0, Qt::blue);
    struct Case {
        const char* name;
        QImage glyph;
        std::vector<QPoint> shown;
    };
    const Case cases[] = {
        {"24-bit", plain, {QPoint(1, 1)}},
        {"with alpha", withAlpha, {QPoint(1, 1), QPoint(3, 0)}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const QImage silhouette = MakeGlyphSilhouette(test.glyph);
        const QImage drawn = TransparentGlyph(test.glyph);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool shown = std::find(test.shown.begin(), test.shown.end(), QPoint(x, y)) != test.shown.end();
                EXPECT_EQ(silhouette.pixel(x, y), shown ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << x << "," << y;
                EXPECT_EQ(drawn.pixelColor(x, y).alpha(), shown ? 255 : 0) << x << "," << y;
            }
    }
}

TEST(FocusGlow, BlurRefusesOtherFormatsAndLeavesAZeroDeviationAlone) {
    QImage wrong(10, 10, QImage::Format_ARGB32);
    EXPECT_THROW(BlurBitmap(wrong, 2), std::invalid_argument);
    QImage shape = DrawFocusShape(40, 30, 0, 5, 4, gpAfterControl, 0);
    const QImage before = shape;
    BlurBitmap(shape, 0);
    EXPECT_EQ(shape, before);
    BlurBitmap(shape, -1);
    EXPECT_EQ(shape, before);
}

TEST(FocusGlow, ALargeRingIsBlurredAlongItsWholeLength) {
    // The main window's widest edit: 337 x 21 gives a 346 x 30 ring. Every
    // column of its middle must look alike, and like a column blurred alone.
    const QImage ring = DrawFocusShape(346, 30, 3, 5, 4, gpAfterControl, 0);
    for (int y = 0; y < 30; ++y) EXPECT_EQ(ring.pixelColor(100, y), ring.pixelColor(200, y)) << y;
    EXPECT_GT(ring.pixelColor(100, 4).red(), 100);  // on the ring
    EXPECT_EQ(ring.pixelColor(100, 15).red(), 0);   // inside it
}

TEST(FocusGlow, MaskTakesAlphaFromTheShapeAndOnlyMatchingBitmaps) {
    QImage shape(2, 1, QImage::Format_RGB888), colour(2, 1, QImage::Format_RGB888);
    shape.setPixelColor(0, 0, QColor(128, 0, 0));
    shape.setPixelColor(1, 0, QColor(255, 0, 0));
    colour.fill(QColor(151, 211, 253));
    TAlphaMask mask;
    mask.BuildFromShape(shape, colour);
    ASSERT_FALSE(mask.Image().isNull());
    const QRgb half = mask.Image().pixel(0, 0);
    EXPECT_EQ(qAlpha(half), 128);
    EXPECT_EQ(qRed(half), static_cast<int>(std::nearbyint(151 * (128 / 255.0))));
    EXPECT_EQ(qBlue(mask.Image().pixel(1, 0)), 253);

    TAlphaMask refused;
    refused.BuildFromShape(shape, QImage(3, 1, QImage::Format_RGB888));
    EXPECT_TRUE(refused.Image().isNull());
    refused.BuildFromShape(shape, QImage(2, 1, QImage::Format_ARGB32));
    EXPECT_TRUE(refused.Image().isNull());
}

class FocusHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.resize(400, 300);
        edit = new QLineEdit(&form);
        edit->setGeometry(50, 40, 100, 20);
        button = new QPushButton("OK", &form);
        button->setGeometry(50, 100, 80, 25);
        check = new QCheckBox("box", &form);
        check->setGeometry(50, 140, 80, 20);
        helper = new TFocusHelper(&form);
        helper->IncludeControls = Bit(icEdit);
        form.show();
        QCoreApplication::processEvents();
    }

    // The offscreen platform activates no window, so Qt sends no focus events
    // of its own: they are sent here as the desktop would cause them.
    void focus(QWidget* widget) {
        if (focused_) {
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QCoreApplication::sendEvent(focused_, &out);
        }
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(widget, &in);
        focused_ = widget;
    }
    QWidget* focused_ = nullptr;

    QWidget form;
    QLineEdit* edit = nullptr;
    QPushButton* button = nullptr;
    QCheckBox* check = nullptr;
    TFocusHelper* helper = nullptr;
};

TEST_F(FocusHelperTest, AFocusedEditGetsA109By29GlowWithAHoleOverIt) {
    focus(edit);
    ASSERT_EQ(helper->FocusedControl(), edit);
    QWidget* glow = helper->GlowWidget();
    ASSERT_NE(glow, nullptr);
    EXPECT_TRUE(glow->isVisible());
    EXPECT_EQ(glow->size(), QSize(109, 29));
    EXPECT_EQ(glow->pos(), edit->mapToGlobal(QPoint(-4, -4)));
    const QImage& image = helper->GlowImage();
    for (QPoint inside : {QPoint(4, 4), QPoint(103, 23), QPoint(50, 14)}) EXPECT_EQ(qAlpha(image.pixel(inside)), 0);
    EXPECT_FALSE(glow->mask().contains(QPoint(50, 14)));
    EXPECT_TRUE(glow->mask().contains(QPoint(1, 1)));
    int ring = 0;
    for (int x = 0; x < 109; ++x) ring = std::max(ring, qAlpha(image.pixel(x, 2)));
    EXPECT_GT(ring, 0);
    EXPECT_LE(ring, 230);  // Opacity scales the alpha

    focus(button);
    EXPECT_EQ(helper->FocusedControl(), nullptr);
    EXPECT_FALSE(glow->isVisible());
}

TEST_F(FocusHelperTest, OpacityScalesTheGlow) {
    helper->Opacity = 255;
    focus(edit);
    const int full = qAlpha(helper->GlowImage().pixel(54, 2));
    helper->Opacity = 0;
    helper->ShowFocusWindow(QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size()));
    EXPECT_EQ(qAlpha(helper->GlowImage().pixel(54, 2)), 0);
    helper->Opacity = 128;
    helper->ShowFocusWindow(QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size()));
    EXPECT_NEAR(qAlpha(helper->GlowImage().pixel(54, 2)), full * 128 / 255, 1);
}

TEST_F(FocusHelperTest, TheIncludeAndExcludeSetsDecide) {
    auto* memo = new QPlainTextEdit(&form);
    auto* combo = new QComboBox(&form);
    combo->setEditable(true);
    auto* picker = new QDateTimeEdit(&form);
    auto* tagged = new QPushButton("tagged", &form);
    tagged->setProperty("tag", 7);
    helper->ControlTag = 7;
    struct Case {
        const char* name;
        TIncludeControls include;
        TExcludeControls exclude;
        QWidget* control;
        QWidget* parent;
        bool glows;
        int controlTag = 7;
    };
    const Case cases[] = {
        {"edit", Bit(icEdit), 0, edit, &form, true},
        {"button", Bit(icEdit), 0, button, &form, false},
        {"check box", Bit(icEdit), 0, check, &form, false},
        {"a combo's inner edit is not an edit", Bit(icEdit), 0, combo->lineEdit(), combo, false},
        {"a combo's inner edit frames the combo", Bit(icComboBox), 0, combo->lineEdit(), combo, true},
        {"memo", Bit(icMemo), 0, memo, &form, true},
        {"date/time picker", Bit(icDateTimePicker), 0, picker, &form, true},
        {"the include set decides alone", Bit(icEdit), Bit(ecTagValue), edit, &form, true},
        {"tag included", Bit(icTagValue), 0, tagged, &form, true},
        {"both empty: anything", 0, 0, button, &form, true},
        {"excluded button", 0, Bit(ecButton), button, &form, false},
        {"excluded tag", 0, Bit(ecTagValue), tagged, &form, false},
        {"an untagged control has tag 0", Bit(icTagValue), 0, edit, &form, true, 0},
        {"an untagged control is excluded by tag 0", 0, Bit(ecTagValue), button, &form, false, 0},
        {"a tagged control is not tag 0", Bit(icTagValue), 0, tagged, &form, false, 0},
    };
    for (const Case& test : cases) {
        helper->IncludeControls = test.include;
        helper->ExcludeControls = test.exclude;
        helper->ControlTag = test.controlTag;
        EXPECT_EQ(helper->IsFocusControl(test.control, test.parent), test.glows) << test.name;
    }
}

TEST_F(FocusHelperTest, TheGlowGoesWithDeactivationAHiddenPageAndTheControl) {
    focus(edit);
    ASSERT_TRUE(helper->GlowWidget()->isVisible());

    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&form, &deactivate);
    EXPECT_FALSE(helper->GlowWidget()->isVisible());

    helper->Frame(edit);
    EXPECT_TRUE(helper->GlowWidget()->isVisible());
    edit->hide();  // a hidden page hides its controls
    QCoreApplication::processEvents();
    EXPECT_FALSE(helper->GlowWidget()->isVisible());

    edit->show();
    helper->Frame(edit);
    edit->move(-200, 40);  // scrolled out of sight: framed still, nothing shown
    QCoreApplication::processEvents();
    EXPECT_EQ(helper->FocusedControl(), edit);
    EXPECT_FALSE(helper->GlowWidget()->isVisible());
    edit->move(50, 40);
    QCoreApplication::processEvents();
    EXPECT_TRUE(helper->GlowWidget()->isVisible());

    delete edit;
    QCoreApplication::processEvents();
    EXPECT_EQ(helper->FocusedControl(), nullptr);
    EXPECT_FALSE(helper->GlowWidget()->isVisible());
}

TEST_F(FocusHelperTest, AGlyphWidensTheGlowAndSitsCentredByItsHeight) {
    QImage glyph(6, 10, QImage::Format_RGB888);  // narrow and tall: centring by width would place it 2 px off
    glyph.fill(Qt::red);
    glyph.setPixelColor(0, 9, Qt::blue);  // its transparent colour
    helper->Glyph = glyph;
    helper->Opacity = 255;
    helper->Color = 0x00FF00;  // green, so the red glyph shows
    focus(edit);
    ASSERT_NE(helper->GlowWidget(), nullptr);
    EXPECT_EQ(helper->GlowWidget()->size(), QSize(109 + 10, 29));
    const QImage& image = helper->GlowImage();
    const int x = 119 - 10 + 2 + 2;  // after the control, inside the glyph
    EXPECT_GT(qRed(image.pixel(x, (29 - 10) / 2)), 200);       // first row of the glyph
    EXPECT_LT(qRed(image.pixel(x, (29 - 10) / 2 - 1)), 50);    // the row above is glow
    const QRgb corner = image.pixel(x - 2, (29 - 10) / 2 + 9);  // the glyph's bottom-left pixel
    EXPECT_EQ(qBlue(corner), 0);  // transparent: the green glow's colour, not the glyph's blue
}

TEST_F(FocusHelperTest, NothingInsideAMonthCalendarGlows) {
    auto* calendar = new QCalendarWidget(&form);
    calendar->setGeometry(170, 40, 220, 180);
    calendar->show();
    auto* grid = calendar->findChild<QTableView*>();
    auto* monthButton = calendar->findChild<QToolButton*>();
    auto* yearSpin = calendar->findChild<QSpinBox*>();
    ASSERT_NE(grid, nullptr);
    ASSERT_NE(monthButton, nullptr);
    ASSERT_NE(yearSpin, nullptr);
    auto* yearField = yearSpin->findChild<QLineEdit*>();
    ASSERT_NE(yearField, nullptr);
    helper->IncludeControls = 0;  // anything else glows
    struct Case {
        const char* name;
        QWidget* control;
        bool glows;
    };
    const Case cases[] = {
        {"a button", button, true},
        {"the calendar", calendar, false},
        {"its day grid, a direct child", grid, false},
        {"its month button, deeper down", monthButton, false},
        {"its year field, deeper still", yearField, false},
    };
    for (const Case& test : cases) {
        focus(test.control);
        EXPECT_EQ(helper->FocusedControl(), test.glows ? test.control : nullptr) << test.name;
    }
}

TEST_F(FocusHelperTest, APopupOpeningOverTheControlLeavesItsGlow) {
    QMenu menu;
    menu.addAction("Copy");
    QListWidget completions;  // a completer's list: a popup window of its own
    completions.setWindowFlags(Qt::Popup);
    completions.addItem("one");
    struct Case {
        const char* name;
        QEvent::Type type;
        Qt::FocusReason reason;
        bool popupOpen;
        bool stays;
    };
    const Case cases[] = {
        {"a popup takes the focus", QEvent::FocusOut, Qt::PopupFocusReason, true, true},
        {"the window changes under an open popup", QEvent::FocusOut, Qt::ActiveWindowFocusReason, true, true},
        {"the window is deactivated under an open popup", QEvent::WindowDeactivate, Qt::OtherFocusReason, true, true},
        {"the focus moves on", QEvent::FocusOut, Qt::TabFocusReason, false, false},
        {"another window is activated", QEvent::FocusOut, Qt::ActiveWindowFocusReason, false, false},
        {"the window is deactivated", QEvent::WindowDeactivate, Qt::OtherFocusReason, false, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        helper->Frame(edit);
        ASSERT_TRUE(helper->GlowWidget()->isVisible());
        if (test.popupOpen) {
            menu.popup(form.mapToGlobal(QPoint(60, 70)));
            ASSERT_NE(QApplication::activePopupWidget(), nullptr);
        }
        if (test.type == QEvent::FocusOut) {
            QFocusEvent out(QEvent::FocusOut, test.reason);
            QCoreApplication::sendEvent(edit, &out);
        } else {
            QEvent deactivate(test.type);
            QCoreApplication::sendEvent(&form, &deactivate);
        }
        EXPECT_EQ(helper->FocusedControl(), test.stays ? edit : nullptr);
        EXPECT_EQ(helper->GlowWidget()->isVisible(), test.stays);
        menu.close();
    }

    // The list of a popup taking the focus frames nothing in its place.
    helper->Frame(edit);
    completions.show();
    QFocusEvent in(QEvent::FocusIn, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(&completions, &in);
    EXPECT_EQ(helper->FocusedControl(), edit);
    EXPECT_TRUE(helper->GlowWidget()->isVisible());
    completions.close();
}

TEST_F(FocusHelperTest, SwitchingOnAHelperThatDoesNotServeLeavesNoGlowBehind) {
    // The first helper serves; a second window's helper is switched off and
    // on while the edit has the focus.
    QApplication::setActiveWindow(&form);
    edit->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), edit);
    QWidget other;
    TFocusHelper second(&other);
    second.SetActive(false);
    second.SetActive(true);
    EXPECT_TRUE(second.GlowWidget() == nullptr || !second.GlowWidget()->isVisible());
    EXPECT_EQ(helper->FocusedControl(), edit);  // the serving helper frames it again

    button->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(helper->FocusedControl(), nullptr);
    EXPECT_TRUE(second.GlowWidget() == nullptr || !second.GlowWidget()->isVisible());
}

TEST_F(FocusHelperTest, OutOfRangeSettingsAreIgnoredAndASecondHelperRefused) {
    helper->SetBlur(12);
    helper->SetSize(15);
    EXPECT_EQ(helper->Blur(), 3);
    EXPECT_EQ(helper->Size(), 4);
    EXPECT_EQ(helper->Version(), "1.1.0.3");
    EXPECT_THROW(TFocusHelper second(&form), std::runtime_error);
    EXPECT_THROW(TFocusHelper onAControl(edit), std::runtime_error);
}

TEST_F(FocusHelperTest, TheOverlayModeDrawsInsideTheWindow) {
    TFocusHelper::SetGlowModeChooser([](QWidget*) { return TFocusHelper::GlowMode::Overlay; });
    focus(edit);
    QWidget* glow = helper->GlowWidget();
    TFocusHelper::SetGlowModeChooser({});
    ASSERT_NE(glow, nullptr);
    EXPECT_EQ(glow->parentWidget(), &form);
    EXPECT_EQ(glow->geometry(), QRect(46, 36, 109, 29));
    EXPECT_TRUE(glow->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(glow->focusPolicy(), Qt::NoFocus);
}

}  // namespace
}  // namespace velmora::components

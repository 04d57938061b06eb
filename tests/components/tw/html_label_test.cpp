#include "components/tw/html_label.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QtTest/QTest>

#include "framework/shell_open.h"
#include "components/tw/tw_style.h"
#include "qt_printers.h"
#include "support/case_name.h"

namespace velmora::tw {
namespace {

const TTwFont kTextFont{QStringLiteral("DejaVu Sans"), 9, 0x000000, {}};

void SendMouse(QWidget& widget, QEvent::Type type, QPoint position, Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent event(type, position, widget.mapToGlobal(position), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
}

void MoveMouse(QWidget& widget, QPoint position) { SendMouse(widget, QEvent::MouseMove, position); }

void Click(QWidget& widget, QPoint position, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(widget, QEvent::MouseButtonPress, position, button);
}

const THtmlRenderChunk* ChunkWithText(const TTwHtmlLabel& label, const QString& text) {
    for (const THtmlRenderChunk& chunk : label.Renderer().Chunks()) {
        if (chunk.Text == text) return &chunk;
    }
    return nullptr;
}

QPoint InsideChunk(const TTwHtmlLabel& label, const QString& text) {
    const THtmlRenderChunk* chunk = ChunkWithText(label, text);
    EXPECT_NE(chunk, nullptr) << text.toStdString();
    return chunk ? QPoint(chunk->X + 1, chunk->Y + 1) : QPoint(-1, -1);
}

// A label of known width and font whose caption is laid out for that width.
std::unique_ptr<TTwHtmlLabel> LabelShowing(const QString& caption, int width = 300, int height = 60) {
    auto label = std::make_unique<TTwHtmlLabel>();
    label->resize(width, height);
    label->SetFont(kTextFont);
    label->SetCaption(caption);
    return label;
}

TEST(HtmlLabel, NewLabel) {
    TTwHtmlLabel label;
    EXPECT_EQ(label.Alignment(), TTwAlignment::Left);
    EXPECT_FALSE(label.AutoHeight());
    EXPECT_FALSE(label.AutoWidth());
    EXPECT_TRUE(label.WordBreak());
    EXPECT_EQ(label.Caption(), "");
    EXPECT_TRUE(label.HTMLText().isEmpty());
    EXPECT_EQ(label.Font().Name, "MS Shell Dlg 2");
    EXPECT_EQ(label.Font().Color, clWindowText);
    EXPECT_EQ(label.LinkCursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(label.LinkColor(), 0xFF0000u);
    EXPECT_EQ(label.LinkHoverColor(), 0xFF0000u);
    EXPECT_FALSE(label.LinkHover());
    EXPECT_FALSE(label.LinkHoverUnderline());
    EXPECT_EQ(label.Images(), nullptr);
    EXPECT_EQ(label.ImagePadding(), 0);
    EXPECT_EQ(label.LabelType(), ltCustom);
    EXPECT_FALSE(label.autoFillBackground());
}

struct CaptionCase {
    std::string name;
    friend void PrintTo(const CaptionCase& row, std::ostream* out) { *out << row.name; }
    QString caption;
    QString readBack;
    QStringList lines;
};

class CaptionViews : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(CaptionViews, AgreeAfterSettingTheCaption) {
    TTwHtmlLabel label;
    label.SetCaption(GetParam().caption);
    EXPECT_EQ(label.Caption(), GetParam().readBack);
    EXPECT_EQ(label.HTMLText(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(HtmlLabel, CaptionViews,
                         ::testing::Values(CaptionCase{"TrailingLineBreakIsDropped", "a\r\n", "a", {"a"}},
                                         CaptionCase{"LineFeedsBecomeCarriageReturnLineFeed", "a\nb", "a\r\nb", {"a", "b"}},
                                         CaptionCase{"LoneCarriageReturnEndsALine", "a\rb", "a\r\nb", {"a", "b"}},
                                         CaptionCase{"EmptyLineInside", "a\r\n\r\nb", "a\r\n\r\nb", {"a", "", "b"}},
                                         CaptionCase{"OnlyLineBreaks", "\r\n\r\n", "", {"", ""}},
                                         CaptionCase{"Empty", "", "", {}}),
                         velmora::testing::CaseName());

TEST(HtmlLabel, LinesJoinIntoTheCaptionAndShowAsLines) {
    auto label = LabelShowing("");
    label->SetHTMLText({"a", "b"});
    EXPECT_EQ(label->Caption(), "a\r\nb");
    ASSERT_NE(ChunkWithText(*label, "b"), nullptr);
    EXPECT_EQ(ChunkWithText(*label, "b")->Y, QFontMetrics(ToQFont(kTextFont)).height());
}

TEST(HtmlLabel, WelcomeTextLeavesOneThenTwoEmptyLinesBetweenItsParagraphs) {
    QString caption =
        "Update Wizard makes sure you have the most recent version of your {[COMPANY]} products at all times.<BR><BR>If an update is "
        "available for {[PROGRAM_NAME]}, this wizard will download and install it on your computer.<BR><BR><BR>Note: An Internet "
        "connection is required.";
    caption.replace("{[PROGRAM_NAME]}", "Velmora").replace("{[COMPANY]}", "Ternwick");
    auto label = LabelShowing(caption, 459, 145);
    const int lineHeight = QFontMetrics(ToQFont(kTextFont)).height();
    // The last line of a paragraph is the lowest line before its successor's
    // first word.
    const auto lastLineBefore = [&](const QString& word) {
        int lowest = -1;
        for (const THtmlRenderChunk& chunk : label->Renderer().Chunks()) {
            if (chunk.Text == word) return lowest;
            lowest = std::max(lowest, chunk.Y);
        }
        return -1;
    };
    ASSERT_NE(ChunkWithText(*label, "If "), nullptr);
    ASSERT_NE(ChunkWithText(*label, "Note:"), nullptr);
    EXPECT_EQ(ChunkWithText(*label, "If ")->Y - lastLineBefore("If "), 2 * lineHeight);
    EXPECT_EQ(ChunkWithText(*label, "Note:")->Y - lastLineBefore("Note:"), 3 * lineHeight);
    EXPECT_GT(lastLineBefore("If "), 0) << "the first paragraph wraps at 459 pixels";
}

TEST(HtmlLabel, AutoWidthAndWordBreakSwitchEachOtherOff) {
    TTwHtmlLabel label;
    label.SetAutoWidth(true);
    EXPECT_TRUE(label.AutoWidth());
    EXPECT_FALSE(label.WordBreak());
    label.SetWordBreak(true);
    EXPECT_TRUE(label.WordBreak());
    EXPECT_FALSE(label.AutoWidth());
    label.SetWordBreak(false);
    EXPECT_FALSE(label.AutoWidth()) << "switching one off leaves the other";
}

TEST(HtmlLabel, AutoWidthFollowsTheWidestLine) {
    auto label = LabelShowing("one two<br>three");
    label->SetAutoWidth(true);
    EXPECT_EQ(label->width(), label->Renderer().MaxWidth());
    label->SetAlign(TTwAlign::Top);
    label->SetCaption("one two three four five six seven");
    EXPECT_NE(label->width(), label->Renderer().MaxWidth()) << "the parent controls the width";
}

TEST(HtmlLabel, AutoHeightFollowsTheContentUnlessTheParentControlsTheHeight) {
    auto label = LabelShowing("one<br>two<br>three", 300, 10);
    label->SetAlign(TTwAlign::Client);
    label->SetAutoHeight(true);
    EXPECT_EQ(label->height(), 10);
    label->SetAlign(TTwAlign::Top);
    EXPECT_EQ(label->height(), label->Renderer().Height());
    EXPECT_EQ(label->height(), 3 * QFontMetrics(ToQFont(kTextFont)).height() + 2);
}

TEST(HtmlLabel, AutoSizesHoldAfterAResizeFromOutside) {
    auto tall = LabelShowing("one<br>two<br>three", 300, 60);
    tall->SetAutoHeight(true);
    const int needed = tall->Renderer().Height();
    tall->resize(300, 5);  // hidden: Qt delivers the resize when it shows
    tall->show();
    EXPECT_EQ(tall->height(), needed) << "an auto-height label is never clipped by a resize";
    tall->resize(300, 5);
    EXPECT_EQ(tall->height(), needed);

    auto wide = LabelShowing("one two three");
    wide->SetAutoWidth(true);
    wide->show();
    const int widest = wide->Renderer().MaxWidth();
    wide->resize(40, 20);
    EXPECT_EQ(wide->width(), widest);
}

TEST(HtmlLabel, ANewLabelOwnsItsWholeFont) {
    QWidget window;
    auto* label = new TTwHtmlLabel(&window);
    const QFont before = label->font();
    QFont big("DejaVu Serif");
    big.setPixelSize(30);
    big.setBold(true);
    window.setFont(big);  // as a window applying its own font does
    EXPECT_EQ(label->font().family(), "MS Shell Dlg 2");
    EXPECT_EQ(label->font().pixelSize(), before.pixelSize());
    EXPECT_EQ(label->font().pointSizeF(), before.pointSizeF());
    EXPECT_FALSE(label->font().bold());
}

TEST(HtmlLabel, NarrowingAShownLabelWrapsAgainAndItsHeightFollows) {
    auto label = LabelShowing("alpha beta gamma delta", 1000, 10);
    label->SetAutoHeight(true);
    label->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(label.get()));
    const int oneLine = label->height();
    label->resize(QFontMetrics(ToQFont(kTextFont)).horizontalAdvance("alpha beta "), label->height());
    EXPECT_GT(ChunkWithText(*label, "gamma ")->Y, 0);
    EXPECT_GT(label->height(), oneLine);
    EXPECT_EQ(label->height(), label->Renderer().Height());
}

TEST(HtmlLabel, WrappingLabelBesideAStretchTakesTheRowAndFitsItsLines) {
    // Created inside its window, the label starts at Qt's 100 pixels for
    // children: that width must not come back as its preferred one.
    QWidget window;
    auto* label = new TTwHtmlLabel(&window);
    label->SetFont(kTextFont);
    QString caption;
    for (int i = 0; i < 40; ++i) caption += QStringLiteral("word ");
    label->SetCaption(caption);
    auto* row = new QHBoxLayout(&window);
    row->addWidget(label, 0, Qt::AlignTop);
    row->addStretch();
    window.resize(600, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    const int lineHeight = QFontMetrics(ToQFont(kTextFont)).height();
    EXPECT_GT(label->width(), 400) << "the caption is wider than the row, so the label takes nearly all of it";
    EXPECT_LE(label->width(), 600);
    EXPECT_EQ(label->Renderer().Chunks().back().Y + lineHeight + 2, label->Renderer().Height()) << "laid out at the label's width";
    EXPECT_GT(label->height(), lineHeight + 2) << "the caption wraps";
    EXPECT_EQ(label->height(), label->Renderer().Height());
}

// Counts the requests that updateGeometry() posts to a parent without a
// layout of its own.
class LayoutRequests : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

// A label with `caption` in the text font inside `parent`, 600 x 200 and shown.
TTwHtmlLabel* ShowLabelIn(QWidget& parent, const QString& caption) {
    parent.resize(600, 200);
    auto* label = new TTwHtmlLabel(&parent);
    label->SetFont(kTextFont);
    label->SetCaption(caption);
    parent.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&parent));
    QCoreApplication::processEvents();
    return label;
}

TEST(HtmlLabel, OnlyAChangedHintAsksTheParentForANewLayout) {
    QWidget parent;
    TTwHtmlLabel* label = ShowLabelIn(parent, "alpha beta gamma delta epsilon");
    LayoutRequests requests;
    parent.installEventFilter(&requests);
    const QSize hint = label->sizeHint();
    for (const int width : {80, 150, 500}) {
        label->resize(width, 60);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(requests.count, 0) << "wrapping at another width changes neither the hint nor the heights for other widths";
    EXPECT_EQ(label->sizeHint(), hint);
    EXPECT_EQ(label->heightForWidth(label->width()), label->Renderer().Height());
    label->SetCaption("alpha");
    QCoreApplication::processEvents();
    EXPECT_GT(requests.count, 0);
    EXPECT_LT(label->sizeHint().width(), hint.width());

    // No longer wrapping: the hint stays, but the layout must stop asking
    // for heights at other widths.
    requests.count = 0;
    label->SetWordBreak(false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(label->hasHeightForWidth());
    EXPECT_GT(requests.count, 0);
}

TEST(HtmlLabel, AutoWidthStopsWrappingAndTellsTheParentOnlyOnce) {
    QWidget parent;
    TTwHtmlLabel* label = ShowLabelIn(parent, "alpha");
    LayoutRequests requests;
    parent.installEventFilter(&requests);
    label->SetAutoWidth(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(label->hasHeightForWidth());
    EXPECT_GT(requests.count, 0) << "the label no longer trades height for width";

    requests.count = 0;
    label->SetAutoWidth(true);
    label->SetWordBreak(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests.count, 0) << "it was not wrapping before either";
}

TEST(HtmlLabel, HeightForWidthIsTheWrappedHeightAndOnlyWhenWrapping) {
    auto label = LabelShowing("ab ab ab ab", 1000);
    const QFontMetrics metrics(ToQFont(kTextFont));
    const int word = metrics.horizontalAdvance("ab ");
    const int oneLine = metrics.height() + 2;
    EXPECT_TRUE(label->hasHeightForWidth());
    EXPECT_EQ(label->sizeHint(), QSize(3 * word + metrics.horizontalAdvance("ab"), oneLine)) << "the unwrapped text";
    EXPECT_EQ(label->heightForWidth(1000), oneLine);
    EXPECT_EQ(label->heightForWidth(2 * word), 2 * metrics.height() + 2);
    EXPECT_EQ(label->heightForWidth(word), 4 * metrics.height() + 2);
    EXPECT_EQ(label->width(), 1000) << "asking lays out nothing";
    EXPECT_EQ(label->Renderer().Height(), oneLine);

    label->SetAutoWidth(true);
    EXPECT_FALSE(label->hasHeightForWidth());
    EXPECT_EQ(label->sizeHint(), QSize(label->Renderer().MaxWidth(), label->Renderer().Height()));
}

TEST(HtmlLabel, DefaultColouredTextTakesTheColourOfTheLabelsPalette) {
    // A dark band whose palette gives white window text to its children.
    if (QGuiApplication::palette().color(QPalette::WindowText).lightness() >= 128)
        GTEST_SKIP() << "the check needs dark default text (a light desktop theme)";
    QWidget band;
    QPalette palette = band.palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    band.setPalette(palette);
    auto* label = new TTwHtmlLabel(&band);
    label->resize(200, 30);
    label->SetFont({kTextFont.Name, kTextFont.Size, clWindowText, {}});
    label->SetCaption("text");
    QImage image(200, 30, QImage::Format_ARGB32);
    image.fill(Qt::black);
    label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    bool white = false;
    for (int y = 0; y < image.height() && !white; ++y) {
        for (int x = 0; x < image.width() && !white; ++x) white = image.pixelColor(x, y).lightness() > 200;
    }
    EXPECT_TRUE(white);
}

TEST(HtmlLabel, ColourOnlyFontChangeIsShown) {
    // The QFont stays the same, so QWidget reports no change.
    auto label = LabelShowing("text");
    label->SetFont({kTextFont.Name, kTextFont.Size, 0x0000FF, kTextFont.Style});
    EXPECT_EQ(label->Font().Color, 0x0000FFu);
    EXPECT_EQ(label->Renderer().Chunks().at(0).FontData.Color, 0x0000FFu);
}

TEST(HtmlLabel, PresetThatDiffersOnlyInColourIsShown) {
    const TTwStyle& style = TTwStyle::Instance();
    const TTwFont normal{style.NormalFontName, style.NormalFontSize, style.NormalFontColor, style.NormalFontStyle};
    auto label = LabelShowing("text");
    label->SetFont({normal.Name, normal.Size, 0x00FF00, normal.Style});
    label->SetLabelType(ltNormal);
    EXPECT_EQ(label->Font(), normal);
    EXPECT_EQ(label->Renderer().Chunks().at(0).FontData.Color, normal.Color);
}

TEST(HtmlLabel, LinkSettingsReadBackAndShapeTheLinks) {
    auto label = LabelShowing("<a href=x>link</a>");
    label->SetLinkColor(0x00FF00);
    label->SetLinkHoverColor(0x0000FF);
    label->SetLinkHover(true);
    EXPECT_EQ(label->LinkColor(), 0x00FF00u);
    EXPECT_EQ(label->LinkHoverColor(), 0x0000FFu);
    EXPECT_TRUE(label->LinkHover());
    const THtmlNode* link = label->Renderer().Chunks().at(0).Node->Parent();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->FontData.Color, 0x00FF00u);
    EXPECT_EQ(link->FontData.HoverColor, 0x0000FFu);
    EXPECT_FALSE(link->FontData.Style.testFlag(fsUnderline)) << "a link with a hover look is not underlined";
}

TEST(HtmlLabel, ImagesReadBack) {
    TTwImageList images(16, 16);
    TTwHtmlLabel label;
    label.SetImages(&images);
    EXPECT_EQ(label.Images(), &images);
    label.SetImages(nullptr);
    EXPECT_EQ(label.Images(), nullptr);
}

TEST(HtmlLabel, ImagePaddingTakesEffectAtTheNextImageList) {
    TTwImageList images(16, 16);
    images.Add(QPixmap(16, 16));
    auto label = LabelShowing("<img src=0>");
    label->SetImages(&images);
    label->SetImagePadding(4);
    EXPECT_EQ(label->Renderer().Chunks().at(0).Height, 16);
    label->SetImages(&images);
    EXPECT_EQ(label->Renderer().Chunks().at(0).Height, 20);
}

TEST(HtmlLabel, ImageListDestroyedWhileShownIsForgotten) {
    auto images = std::make_unique<TTwImageList>(16, 16);
    images->Add(QPixmap(16, 16));
    auto label = LabelShowing("a<img src=0>b");
    label->SetImages(images.get());
    EXPECT_EQ(label->Renderer().Chunks().at(1).Width, 16);
    images.reset();
    EXPECT_EQ(label->Images(), nullptr);
    EXPECT_EQ(label->Renderer().Chunks().at(1).Width, 0);
    QImage target(300, 60, QImage::Format_ARGB32);
    label->render(&target);  // paints without the list
}

TEST(HtmlLabel, AnImageListOwnedByTheLabelGoesWithIt) {
    // The list outlives the label's own destructor: its end must not ask the
    // half-destroyed label for a new layout.
    auto label = LabelShowing("a<img src=0>b");
    auto* images = new TTwImageList(16, 16, label.get());
    images->Add(QPixmap(16, 16));
    label->SetImages(images);
    label.reset();
}

TEST(HtmlLabel, LongRunsOfUnclosedAnglesStayText) {
    // Long runs of "<" without a ">" used to make each "<" scan to the end.
    auto label = LabelShowing(QString(200000, u'<') + QStringLiteral("<b>x</b>") + QString(200000, u'<'));
    EXPECT_FALSE(label->Renderer().Chunks().empty());
}

struct LabelTypeCase {
    std::string name;
    friend void PrintTo(const LabelTypeCase& row, std::ostream* out) { *out << row.name; }
    TTwLabelType type;
    TTwFont font;
};

class LabelTypes : public ::testing::TestWithParam<LabelTypeCase> {};

TEST_P(LabelTypes, ApplyTheSharedPreset) {
    auto label = LabelShowing("text");
    label->SetLabelType(GetParam().type);
    EXPECT_EQ(label->Font(), GetParam().font);
    EXPECT_EQ(label->Renderer().Chunks().at(0).FontData.Color, GetParam().font.Color) << "the text is parsed again in the new font";
    EXPECT_EQ(label->Renderer().Chunks().at(0).FontData.Size, GetParam().font.Size);
}

INSTANTIATE_TEST_SUITE_P(HtmlLabel, LabelTypes,
                         ::testing::Values(LabelTypeCase{"Normal", ltNormal, {"Tahoma", 9, 0x000000, {}}},
                                         LabelTypeCase{"Highlight", ltHighlight, {"Tahoma", 9, 0xF9D3AE, {}}},
                                         LabelTypeCase{"Title", ltTitle, {"Tahoma", 12, 0xFFFFFF, fsBold}},
                                         LabelTypeCase{"Header", ltHeader, {"Calibri", 13, 0xC77A3D, {}}},
                                         LabelTypeCase{"CustomKeepsItsOwnFont", ltCustom, kTextFont}),
                         velmora::testing::CaseName());

TEST(HtmlLabel, FollowsTheSharedStyleUntilDestroyed) {
    TTwStyle& style = TTwStyle::Instance();
    const int designedSize = style.NormalFontSize;
    auto follower = LabelShowing("text");
    follower->SetLabelType(ltNormal);
    auto custom = LabelShowing("text");
    const QObject* goneAddress = nullptr;
    {
        auto gone = LabelShowing("text");
        gone->SetLabelType(ltNormal);
        goneAddress = gone.get();
        ASSERT_TRUE(style.IsRegistered(goneAddress));
    }
    // A handler left behind would capture the dead label: calling it need
    // not crash, so look at the registry itself.
    EXPECT_FALSE(style.IsRegistered(goneAddress));
    style.NormalFontSize = 20;
    style.NotifyListeners();
    EXPECT_EQ(follower->Font().Size, 20);
    EXPECT_EQ(follower->Renderer().Chunks().at(0).FontData.Size, 20);
    EXPECT_EQ(custom->Font(), kTextFont);
    style.NormalFontSize = designedSize;
    style.NotifyListeners();
    EXPECT_EQ(follower->Font().Size, designedSize);
}

struct LinkClickCase {
    std::string name;
    friend void PrintTo(const LinkClickCase& row, std::ostream* out) { *out << row.name; }
    QString caption;
    QStringList handled;
    QStringList opened;
};

class LinkClicks : public ::testing::TestWithParam<LinkClickCase> {};

TEST_P(LinkClicks, CallTheHandlerAndOpenOnlyAddresses) {
    QStringList opened;
    framework::ScopedShellOpenHandler recorder([&](const QString& target) {
        opened << target;
        return true;
    });
    QStringList handled;
    auto label = LabelShowing(GetParam().caption);
    label->SetOnLinkClick([&](const QString& linkId) { handled << linkId; });
    Click(*label, InsideChunk(*label, label->Renderer().Chunks().at(0).Text));
    EXPECT_EQ(handled, GetParam().handled);
    EXPECT_EQ(opened, GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(
    HtmlLabel, LinkClicks,
    ::testing::Values(LinkClickCase{"TargetWithoutAddress", "<a href=settings>s</a>", {"settings"}, {}},
                    LinkClickCase{"WebAddress", R"(<a href="https://example.invalid/a b">w</a>)", {"https://example.invalid/a b"},
                                  {"https://example.invalid/a b"}},
                    LinkClickCase{"MailAddress", "<a href=mailto:someone@example.invalid>m</a>", {"mailto:someone@example.invalid"},
                                  {"mailto:someone@example.invalid"}},
                    LinkClickCase{"MailMarkIsCaseSensitive", "<a href=MAILTO:x@example.invalid>m</a>", {"MAILTO:x@example.invalid"}, {}},
                    LinkClickCase{"LinkWithoutTarget", "<a>none</a>", {}, {}},
                    LinkClickCase{"PlainText", "plain <a href=https://example.invalid/>w</a>", {}, {}}),
    velmora::testing::CaseName());

// A screen reader reads the label as it shows and finds each link by its
// text; pressing one does what a click does.
TEST(HtmlLabel, ScreenReadersReadTheTextAndFollowTheLinks) {
    QStringList opened;
    framework::ScopedShellOpenHandler recorder([&](const QString& target) {
        opened << target;
        return true;
    });
    QStringList handled;
    auto label = LabelShowing("Read <b>the</b> <a href=https://example.invalid/notes>release notes</a> or <a href=settings>change it</a>.");
    label->SetOnLinkClick([&](const QString& linkId) { handled << linkId; });
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(label.get());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->role(), QAccessible::StaticText);
    EXPECT_EQ(reader->text(QAccessible::Name), "Read the release notes or change it.");
    ASSERT_EQ(reader->childCount(), 2);
    const char* texts[] = {"release notes", "change it"};
    for (int index = 0; index < 2; ++index) {
        QAccessibleInterface* link = reader->child(index);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->role(), QAccessible::Link);
        EXPECT_EQ(link->text(QAccessible::Name), texts[index]);
        EXPECT_EQ(reader->indexOfChild(link), index);
        EXPECT_EQ(link->parent(), reader);
        ASSERT_NE(link->actionInterface(), nullptr);
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
    EXPECT_EQ(handled, QStringList({"https://example.invalid/notes", "settings"}));
    EXPECT_EQ(opened, QStringList({"https://example.invalid/notes"}));
}

TEST(HtmlLabel, OnlyTheLeftButtonClicksALink) {
    QStringList opened;
    framework::ScopedShellOpenHandler recorder([&](const QString& target) {
        opened << target;
        return true;
    });
    auto label = LabelShowing("<a href=https://example.invalid/>w</a>");
    Click(*label, InsideChunk(*label, "w"), Qt::RightButton);
    EXPECT_TRUE(opened.isEmpty());
}

TEST(HtmlLabel, HandlerMayDestroyTheLabel) {
    QStringList opened;
    framework::ScopedShellOpenHandler recorder([&](const QString& target) {
        opened << target;
        return true;
    });
    auto* label = LabelShowing("<a href=https://example.invalid/>w</a>").release();
    label->SetOnLinkClick([&](const QString&) { delete label; });
    Click(*label, QPoint(1, 1));
    EXPECT_EQ(opened, QStringList{"https://example.invalid/"});
}

// Counts the paints the label receives.
class PaintCountingLabel : public TTwHtmlLabel {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        TTwHtmlLabel::paintEvent(event);
    }
};

TEST(HtmlLabel, RepaintsOncePerHoverChange) {
    PaintCountingLabel label;
    label.resize(300, 40);
    label.SetFont(kTextFont);
    label.SetCaption("<a href=one>one</a> plain <a href=two>two</a>");
    label.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
    QCoreApplication::processEvents();
    const QPoint one = InsideChunk(label, "one");
    const QPoint two = InsideChunk(label, "two");
    const QPoint plain = InsideChunk(label, "plain ");
    struct Step {
        const char* what;
        std::function<void()> act;
        int paints;
        Qt::CursorShape cursor;
    };
    const Step steps[] = {
        {"onto plain text", [&] { MoveMouse(label, plain); }, 0, Qt::ArrowCursor},
        {"onto the first link", [&] { MoveMouse(label, one); }, 1, Qt::PointingHandCursor},
        {"within the first link", [&] { MoveMouse(label, one + QPoint(2, 1)); }, 0, Qt::PointingHandCursor},
        {"onto the second link", [&] { MoveMouse(label, two); }, 1, Qt::PointingHandCursor},
        {"off the links", [&] { MoveMouse(label, plain); }, 1, Qt::ArrowCursor},
        {"leaving with nothing hovered", [&] {
             QEvent leave(QEvent::Leave);
             QCoreApplication::sendEvent(&label, &leave);
         }, 0, Qt::ArrowCursor},
        {"back onto the second link", [&] { MoveMouse(label, two); }, 1, Qt::PointingHandCursor},
        {"leaving from a link", [&] {
             QEvent leave(QEvent::Leave);
             QCoreApplication::sendEvent(&label, &leave);
         }, 1, Qt::PointingHandCursor},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        label.paints = 0;
        step.act();
        QCoreApplication::processEvents();
        EXPECT_EQ(label.paints, step.paints);
        EXPECT_EQ(label.cursor().shape(), step.cursor);
    }
}

TEST(HtmlLabel, RebuildForgetsTheHoveredLinkAndTheNextMoveFindsItAgain) {
    auto label = LabelShowing("<a href=one>one</a>");
    MoveMouse(*label, InsideChunk(*label, "one"));
    ASSERT_NE(label->Renderer().Hovered(), nullptr);
    label->SetLinkColor(0x00FF00);
    EXPECT_EQ(label->Renderer().Hovered(), nullptr);
    MoveMouse(*label, InsideChunk(*label, "one"));
    ASSERT_NE(label->Renderer().Hovered(), nullptr);
    EXPECT_EQ(label->Renderer().Hovered(), label->Renderer().Chunks().at(0).Node->Parent());
    EXPECT_EQ(label->Renderer().Hovered()->FontData.Color, 0x00FF00u);
}

}  // namespace
}  // namespace velmora::tw

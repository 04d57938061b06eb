#include "app/main_window.h"

#include <cmath>

#include <QCloseEvent>
#include <QDate>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTimer>

#include "app/anchor_layout.h"
#include "app/report_text.h"
#include "app/window_controls.h"
#include "components/focus_helper.h"
#include "components/tw/html_label.h"
#include "components/tw/tw_header.h"
#include "components/x_divider_label.h"
#include "framework/shell_open.h"
#include "framework/desktop_helpers.h"
#include "framework/event_guard.h"
#include "framework/orrin_dialogs.h"
#include "framework/velmora_application.h"
#include "update/check_for_updates.h"
#include "version/program_version.h"

namespace velmora::app {

namespace {

constexpr QSize kDesignedClient(801, 601);
constexpr QSize kMinimumOuter(750, 560);
constexpr QSize kPanelSize(769, 505);
constexpr QSize kPageSize(745, 481);  // a page of PageControl1 with its tabs hidden
constexpr int kPageInset = 4;

// 231,242,253 in the toolkit's BGR order.
constexpr tw::TColor kExplanationColour = 0xFDF2E7;

const char kMakersNotice[] = "\u00A9 Ternwick Software. All rights reserved.";
const char kMakersHomePage[] = "https://www.ternwick.example/";
const char kMakersAddress[] = "www.ternwick.example";

using framework::Named;

QLabel* PlainLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = Named(new QLabel(text, parent), name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A label that sizes itself to its text, at a designed top-left corner.
QLabel* AutoLabel(AnchorLayout& layout, QWidget* parent, const char* name, const QString& text, QPoint at,
                  int pixelSize = 0, bool bold = false, unsigned anchors = akLeftTop) {
    QLabel* label = PlainLabel(parent, name, text);
    if (pixelSize) SetPixelFont(label, pixelSize, bold);
    return layout.place(label, QRect(at, label->sizeHint()), anchors);
}

QToolButton* FlatButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = Named(new QToolButton(parent), name);
    button->setText(text);
    button->setAutoRaise(true);
    return button;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
    return Named(new PushButton(text, parent), name);
}

QWidget* Page(QStackedWidget* pages, const char* name) {
    auto* page = Named(new QWidget, name);
    SetBackground(page, Qt::white);
    pages->addWidget(page);
    return page;
}

QString BuildDateText(double built) {
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(built)));
    return QLocale().toString(date, QStringLiteral("MMMM d, yyyy"));
}

StartupUpdateCheck& StartupCheck() {
    static StartupUpdateCheck check;
    return check;
}

}  // namespace

QString TfrmVelmoraMain::CaptionText() {
    QString caption = framework::TApplication::Title() + u' ' +
                      QString::fromStdString(version::ProgramVersionText(true, false, true));
    try {
        caption += QStringLiteral(" (") + BuildDateText(version::ImageBuildDate(version::OwnExecutablePath())) + u')';
    } catch (const std::exception&) {
        // An executable without its note still starts; the caption does
        // without the date.
    }
    return caption + QStringLiteral(" - ") + QString::fromUtf8(kMakersNotice);
}

StartupUpdateCheck SetStartupUpdateCheck(StartupUpdateCheck check) {
    std::swap(StartupCheck(), check);
    return check;
}

TfrmVelmoraMain::TfrmVelmoraMain() {
    update::SetUpdateURL(update::BuiltInUpdateURL());
    setObjectName(QStringLiteral("frmVelmoraMain"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    SetBackground(this, kWindowBlue);
    setWindowTitle(CaptionText());
    resize(kDesignedClient);
    buildFrame();
    buildStartPage();
    buildAnalysisOptionsPage();
    buildCleanSelectionPage();
    buildResultsPage();
    buildCleanSettingsPage();
    buildCompletionPage();
    buildUnusedPage();
    connectHandlers();
    nameForScreenReaders();
    PageControl1->setCurrentIndex(0);
    // The seven edit fields glow while they have the focus.
    FocusHelper1 = new components::TFocusHelper(this);
    FocusHelper1->IncludeControls = components::Bit(components::icEdit);
    FocusHelper1->ExcludeControls = 0;
    FocusHelper1->Opacity = 230;
    TimerCheckForUpdates = new framework::TTimer(this);
    TimerCheckForUpdates->SetEnabled(false);
    TimerCheckForUpdates->SetInterval(500);
    TimerCheckForUpdates->SetOnTimer([this] { TimerCheckForUpdatesTimer(); });
}

TfrmVelmoraMain::~TfrmVelmoraMain() = default;

void TfrmVelmoraMain::buildFrame() {
    auto* layout = new AnchorLayout(this, kDesignedClient);
    // Beneath the band, which covers it: designed so, without an action.
    auto* address = layout->place(PlainLabel(this, "Label23", QString::fromLatin1(kMakersAddress)), QRect(648, 40, 134, 13),
                                  akTop | akRight);
    address->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QFont underlined = address->font();
    underlined.setUnderline(true);
    address->setFont(underlined);
    SetTextColour(address, palette().color(QPalette::Active, QPalette::Highlight));
    buildHeader(*layout);
    layout->place(Named(new OutlineShape(this, QColor(226, 226, 226), 5), "Shape1"), QRect(8, 72, 785, 521), akAll);
    auto* panel5 = layout->place(Named(new QWidget(this), "Panel5"), QRect(16, 80, 769, 505), akAll);
    SetBackground(panel5, Qt::white);
    auto* panelLayout = new AnchorLayout(panel5, kPanelSize);
    PageControl1 = panelLayout->place(Named(new QStackedWidget(panel5), "PageControl1"), QRect(8, 8, 753, 489), akAll);
    PageControl1->setContentsMargins(kPageInset, kPageInset, kPageInset, kPageInset);
    TabSheet2 = Page(PageControl1, "TabSheet2");
    TabSheet3 = Page(PageControl1, "TabSheet3");
    TabSheet4 = Page(PageControl1, "TabSheet4");
    TabSheet1 = Page(PageControl1, "TabSheet1");
    TabSheet5 = Page(PageControl1, "TabSheet5");
    TabSheet6 = Page(PageControl1, "TabSheet6");
    TabSheet7 = Page(PageControl1, "TabSheet7");
    for (QWidget* page : {TabSheet2, TabSheet3, TabSheet4, TabSheet1, TabSheet5, TabSheet6, TabSheet7})
        page->resize(kPageSize);
}

void TfrmVelmoraMain::buildHeader(AnchorLayout& layout) {
    TwHeader1 = layout.place(Named(new tw::TTwHeader(this), "TwHeader1"), QRect(0, 0, kDesignedClient.width(), 73),
                             akLeft | akTop | akRight);
    TwHeader1->SetStyle(tw::hsDarkBlue);
    TwHeader1->SetBackgroundStyle(tw::hbsStripes2);
    TwHeader1->SetHeaderTexture(tw::htNone);
    TwHeader1->SetHeaderSeparator(tw::hspShadow);
    auto& band = *new AnchorLayout(TwHeader1, QSize(kDesignedClient.width(), 73));

    auto picture = [&](const char* name, const char* resource, QRect at, unsigned anchors) {
        auto* label = band.place(Named(new QLabel(TwHeader1), name), at, anchors);
        label->setPixmap(QPixmap::fromImage(tw::LoadPicture(QString::fromLatin1(resource), devicePixelRatioF())));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // unscaled from the top-left corner: the name logo is cut at 225
        return label;
    };
    picture("Image5", "VELMORA_ICON", QRect(16, 8, 32, 32), akLeftTop);
    picture("ingLogo", "VELMORA_NAME_LOGO", QRect(56, 8, 225, 27), akLeftTop);

    TwHtmlLabel1 = Named(new tw::TTwHtmlLabel(TwHeader1), "TwHtmlLabel1");
    TwHtmlLabel1->SetLabelType(tw::ltHighlight);
    TwHtmlLabel1->SetAutoWidth(false);
    TwHtmlLabel1->SetWordBreak(true);
    TwHtmlLabel1->SetLinkHover(false);
    TwHtmlLabel1->SetLinkHoverUnderline(false);
    TwHtmlLabel1->SetImagePadding(0);
    TwHtmlLabel1->setGeometry(56, 36, 585, 30);
    TwHtmlLabel1->SetCaption(QStringLiteral(
        "Whenever you create, open, or save a document in Microsoft Word, Excel or PowerPoint, that document may store "
        "information (known as metadata) that you had no intention of including or disclosing."));
    TwHtmlLabel1->SetAutoHeight(true);
    // The highlight colour (174,211,249) reads at 3.3:1 on the band's
    // lightest stripes; lightened just enough for 4.5:1.
    tw::TTwFont explanation = TwHtmlLabel1->Font();
    explanation.Color = kExplanationColour;
    TwHtmlLabel1->SetFont(explanation);

    auto* maker = new LinkLabel(QString(), TwHeader1);
    maker->setObjectName(QStringLiteral("Image4"));
    maker->setPixmap(QPixmap::fromImage(tw::LoadPicture(QStringLiteral("TERNWICK_LOGO"), devicePixelRatioF())));
    maker->setToolTip(QString::fromLatin1(kMakersHomePage));
    maker->setHandler([] { framework::ShellOpenAddress(QUrl(QString::fromLatin1(kMakersHomePage))); });
    Image4 = band.place(maker, QRect(640, 8, 148, 39), akTop | akRight);
}

void TfrmVelmoraMain::buildStartPage() {
    QWidget* page = TabSheet2;
    auto* layout = new AnchorLayout(page, kPageSize);
    layout->place(Named(new OutlineShape(page, QColor(233, 233, 233), 3), "Shape2"), QRect(24, 8, 697, 129),
                  akLeft | akTop | akRight);

    auto* panel1 = layout->place(Named(new QWidget(page), "Panel1"), QRect(32, 16, 681, 113), akLeft | akTop | akRight);
    SetBackground(panel1, Qt::white);
    auto& panel1Layout = *new AnchorLayout(panel1, QSize(681, 113));
    AutoLabel(panel1Layout, panel1, "Label5", QStringLiteral("Analyze"), QPoint(8, 8), 24);
    AutoLabel(panel1Layout, panel1, "Label10",
              QStringLiteral("Analyze documents and view a report on hidden/potentially embarassing info"), QPoint(8, 44),
              12);
    btnAnalyze = panel1Layout.place(Button(panel1, "btnAnalyze", QStringLiteral("Next >")), QRect(8, 72, 81, 25));

    auto* panel2 = layout->place(Named(new QWidget(page), "Panel2"), QRect(32, 168, 681, 121), akLeft | akTop | akRight);
    auto& panel2Layout = *new AnchorLayout(panel2, QSize(681, 121));
    AutoLabel(panel2Layout, panel2, "Label6", QStringLiteral("Clean"), QPoint(16, 8), 24);
    AutoLabel(panel2Layout, panel2, "Label11",
              QStringLiteral("Clean hidden/potentially embarassing data from Word, Excel and Powerpoint documents"),
              QPoint(16, 44), 12);
    btnClean = panel2Layout.place(Button(panel2, "btnClean", QStringLiteral("Next >")), QRect(16, 72, 81, 25));

    auto* statistics = layout->place(Named(new QGroupBox(QStringLiteral("Statistics"), page), "GroupBox2"),
                                     QRect(32, 312, 681, 113));
    auto& statisticsLayout = *new AnchorLayout(statistics, QSize(681, 113));
    const char* captions[] = {"Documents Analyzed:", "Documents Cleaned:", "Last Time Run:"};
    const char* values[] = {"Label1", "Label2", "Label3"};
    for (int i = 0; i < 3; ++i) {
        AutoLabel(statisticsLayout, statistics, "", QString::fromLatin1(captions[i]), QPoint(16, 24 + 24 * i));
        AutoLabel(statisticsLayout, statistics, values[i], QStringLiteral("--"), QPoint(160, 24 + 24 * i));
    }
    // Designed but never shown.
    Button(page, "Button6", QStringLiteral("Close"))->hide();
    Button(page, "Button9", QStringLiteral("Help"))->hide();
}

void TfrmVelmoraMain::buildAnalysisOptionsPage() {
    QWidget* page = TabSheet3;
    auto* layout = new AnchorLayout(page, kPageSize);
    auto* caption = Named(new components::TXDividerLabel(QStringLiteral("Analyze"), page), "XDividerLabel1");
    SetPixelFont(caption, 12, true);
    layout->place(caption, QRect(8, 16, 713, 17), akLeft | akTop | akRight);

    chkAnalyzeWordDocs = layout->place(Named(new QCheckBox(QStringLiteral("Word Documents"), page), "chkAnalyzeWordDocs"),
                                       QRect(40, 48, 153, 17));
    chkAnalyzeExcelDocs = layout->place(
        Named(new QCheckBox(QStringLiteral("Excel Documents"), page), "chkAnalyzeExcelDocs"), QRect(200, 48, 153, 17));
    chkAnalyzePowerpointDocs =
        layout->place(Named(new QCheckBox(QStringLiteral("Powerpoint Documents"), page), "chkAnalyzePowerpointDocs"),
                      QRect(360, 48, 153, 17));
    for (QCheckBox* box : {chkAnalyzeWordDocs, chkAnalyzeExcelDocs, chkAnalyzePowerpointDocs}) box->setChecked(true);

    rbAnalyzeFile = layout->place(Named(new QRadioButton(QStringLiteral("Analyze a single file:"), page), "rbAnalyzeFile"),
                                  QRect(40, 96, 145, 17));
    txtAnalyzeFile = layout->place(Named(new QLineEdit(page), "txtAnalyzeFile"), QRect(304, 96, 337, 21));
    btnAnalyzeFile = layout->place(FlatButton(page, "btnAnalyzeFile", QStringLiteral("...")), QRect(648, 96, 23, 22));
    rbAnalyzeMyDocuments = layout->place(
        Named(new QRadioButton(QStringLiteral("Analyze all files on My Documents folder"), page), "rbAnalyzeMyDocuments"),
        QRect(40, 128, 241, 17));
    rbAnalyzeSelectedFiles =
        layout->place(Named(new QRadioButton(QStringLiteral("Analyze all files on the following folder:"), page),
                            "rbAnalyzeSelectedFiles"),
                      QRect(40, 160, 233, 17));
    txtAnalyzeSelectedFiles = layout->place(Named(new QLineEdit(page), "txtAnalyzeSelectedFiles"), QRect(304, 160, 337, 21));
    btnAnalyzeSelectedFiles =
        layout->place(FlatButton(page, "btnAnalyzeSelectedFiles", QStringLiteral("...")), QRect(648, 160, 23, 22));
    chkAnalyzeIncludeSubFolders =
        layout->place(Named(new QCheckBox(QStringLiteral("Include sub-folders"), page), "chkAnalyzeIncludeSubFolders"),
                      QRect(40, 208, 129, 17));
    rbAnalyzeFile->setChecked(true);
    showDocumentsFolderTip();

    // The only feedback for invalid input: kept inside the page at the
    // minimum size, and never in the way of the buttons it may overlap.
    lblAnalyzeInfo = layout->place(PlainLabel(page, "lblAnalyzeInfo", QStringLiteral("--")), QRect(40, 408, 665, 15),
                                   akLeft | akRight | akBottom);
    SetTextColour(lblAnalyzeInfo, kErrorRed);
    lblAnalyzeInfo->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblAnalyzeInfo->hide();

    Button4 = layout->place(Button(page, "Button4", QStringLiteral("< &Back")), QRect(552, 424, 75, 25), akRight | akBottom);
    btnAnalyze2 =
        layout->place(Button(page, "btnAnalyze2", QStringLiteral("&Next >")), QRect(640, 424, 75, 25), akRight | akBottom);

    // Designed, hidden and without effect.
    Named(new QCheckBox(QStringLiteral("Do not list files that are already clean"), page), "CheckBox2")->hide();
    Named(new QGroupBox(QStringLiteral("Analyze File"), page), "GroupBox3")->hide();
    Named(new QGroupBox(QStringLiteral("Analyze Folders"), page), "GroupBox4")->hide();

    for (QWidget* flat : {static_cast<QWidget*>(btnAnalyzeFile), static_cast<QWidget*>(btnAnalyzeSelectedFiles)})
        flat->setFocusPolicy(Qt::NoFocus);
    QWidget* order[] = {chkAnalyzeWordDocs,      chkAnalyzeExcelDocs,         chkAnalyzePowerpointDocs, rbAnalyzeFile,
                        txtAnalyzeFile,          rbAnalyzeMyDocuments,        rbAnalyzeSelectedFiles,   txtAnalyzeSelectedFiles,
                        chkAnalyzeIncludeSubFolders, btnAnalyze2,             Button4};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TfrmVelmoraMain::buildResultsPage() {
    QWidget* page = TabSheet1;
    auto* layout = new AnchorLayout(page, kPageSize);
    AutoLabel(*layout, page, "Label4", QStringLiteral("Analysis Results"), QPoint(0, 8), 12, true);

    lvMetadata = layout->place(Named(new QTreeWidget(page), "lvMetadata"), QRect(0, 32, 739, 393), akAll);
    lvMetadata->setRootIsDecorated(false);
    lvMetadata->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMetadata->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMetadata->setUniformRowHeights(true);
    // A marked row (read in part, a place not read) keeps the others' height.
    lvMetadata->setIconSize(QSize(11, 11));
    QStringList captions;
    for (const ReportColumn& column : ReportColumns()) captions << QString::fromLatin1(column.caption);
    lvMetadata->setHeaderLabels(captions);
    lvMetadata->header()->setStretchLastSection(false);
    for (int i = 0; i < kReportColumnCount; ++i) lvMetadata->setColumnWidth(i, ReportColumns()[i].width);

    // What could not be read, or why the list is incomplete: plain text, in red.
    lblAnalysisStatus = layout->place(PlainLabel(page, "lblAnalysisStatus", QString()), QRect(0, 427, 560, 13),
                                      akLeft | akRight | akBottom);
    SetTextColour(lblAnalysisStatus, kErrorRed);
    lblAnalysisStatus->hide();

    pnlAnalysisLoading = layout->place(Named(new QFrame(page), "pnlAnalysisLoading"), QRect(256, 192, 233, 41), akTop);
    pnlAnalysisLoading->setFrameShape(QFrame::Panel);
    pnlAnalysisLoading->setFrameShadow(QFrame::Raised);
    SetBackground(pnlAnalysisLoading, QColor(240, 240, 240));
    auto* loading = PlainLabel(pnlAnalysisLoading, "", QStringLiteral("Loading Documents. Please wait..."));
    loading->setAlignment(Qt::AlignCenter);
    loading->setGeometry(0, 0, 233, 41);
    pnlAnalysisLoading->hide();

    SpeedButton1 = layout->place(FlatButton(page, "SpeedButton1", QStringLiteral("List Details")),
                                 QRect(656, 8, 89, 22), akTop | akRight);
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    SpeedButton1->setIconSize(QSize(12, 12));
    auto* saveLink = new LinkLabel(QStringLiteral("Save List to File"), page);
    saveLink->setObjectName(QStringLiteral("Label26"));
    saveLink->setHandler([this] { framework::RunGuarded([this] { SaveListToFile(); }); });
    Label26 = layout->place(saveLink, QRect(QPoint(0, 440), saveLink->sizeHint()), akLeft | akBottom);

    PopupMenuResultsView = Named(new QMenu(this), "PopupMenuResultsView");
    // In the designed order ("Total Edit Time" after "Last Edited By"), with
    // the hidden names, the embedded objects and the custom properties
    // beside the last editor.
    static const char* const kMenu[] = {
        "Title",        "Author",          "Company",         "Keywords",        "Subject",
        "Comments",     "Template",        "Application",     "Created",         "Last Saved",
        "Last Edited By", "Hidden Names",  "Embedded",        "Custom Properties", "Total Edit Time",
        "Last Printed", "Page Count",      "Word Count",      "Character Count", "Revision Count",
        "Hyperlinks List"};
    for (const char* caption : kMenu) {
        int shown = 0;
        while (shown < kReportColumnCount && QLatin1String(ReportColumns()[shown].caption) != QLatin1String(caption)) ++shown;
        QAction* action = PopupMenuResultsView->addAction(QString::fromLatin1(caption));
        action->setCheckable(true);
        action->setChecked(true);
        connect(action, &QAction::toggled, this, [this, shown](bool on) { lvMetadata->setColumnHidden(shown, !on); });
    }

    Button2 = layout->place(Button(page, "Button2", QStringLiteral("&Clean Files")), QRect(568, 432, 91, 25),
                            akRight | akBottom);
    Button1 = layout->place(Button(page, "Button1", QStringLiteral("&Main Menu")), QRect(664, 432, 81, 25),
                            akRight | akBottom);
}

void TfrmVelmoraMain::buildCleanSelectionPage() {
    QWidget* page = TabSheet4;
    auto* layout = new AnchorLayout(page, kPageSize);
    auto* caption = Named(new components::TXDividerLabel(QStringLiteral("Clean"), page), "XDividerLabel2");
    SetPixelFont(caption, 12, true);
    layout->place(caption, QRect(8, 16, 713, 17), akLeft | akTop | akRight);

    chkCleanWordDocs = layout->place(Named(new QCheckBox(QStringLiteral("Word Documents"), page), "chkCleanWordDocs"),
                                     QRect(40, 48, 153, 17));
    chkCleanExcelDocs = layout->place(Named(new QCheckBox(QStringLiteral("Excel Documents"), page), "chkCleanExcelDocs"),
                                      QRect(200, 48, 153, 17));
    chkCleanPowerpointDocs = layout->place(
        Named(new QCheckBox(QStringLiteral("Powerpoint Documents"), page), "chkCleanPowerpointDocs"),
        QRect(360, 48, 153, 17));
    for (QCheckBox* box : {chkCleanWordDocs, chkCleanExcelDocs, chkCleanPowerpointDocs}) box->setChecked(true);

    rbCleanSingleDoc = layout->place(
        Named(new QRadioButton(QStringLiteral("Clean a single document"), page), "rbCleanSingleDoc"), QRect(40, 96, 241, 17));
    txtCleanSingleDoc = layout->place(Named(new QLineEdit(page), "txtCleanSingleDoc"), QRect(304, 96, 337, 21));
    btnCleanSingleDoc = layout->place(FlatButton(page, "btnCleanSingleDoc", QStringLiteral("...")), QRect(648, 96, 23, 22));
    rbCleanAllDocsInFolder = layout->place(
        Named(new QRadioButton(QStringLiteral("Clean all documents in a specific folder"), page), "rbCleanAllDocsInFolder"),
        QRect(40, 128, 241, 17));
    txtCleanAllDocsInFolder = layout->place(Named(new QLineEdit(page), "txtCleanAllDocsInFolder"), QRect(304, 128, 337, 21));
    btnCleanAllDocsInFolder =
        layout->place(FlatButton(page, "btnCleanAllDocsInFolder", QStringLiteral("...")), QRect(648, 128, 23, 22));
    btnCleanAllDocsInFolder->setProperty("tag", 0);
    rbCleanSelectedDocsInFolder =
        layout->place(Named(new QRadioButton(QStringLiteral("Clean selected documents in a specific folder"), page),
                            "rbCleanSelectedDocsInFolder"),
                      QRect(40, 160, 257, 17));
    txtCleanSelectedDocsInFolder =
        layout->place(Named(new QLineEdit(page), "txtCleanSelectedDocsInFolder"), QRect(304, 160, 337, 21));
    btnCleanSelectedDocsInFolder =
        layout->place(FlatButton(page, "btnCleanSelectedDocsInFolder", QStringLiteral("...")), QRect(648, 160, 23, 22));
    btnCleanSelectedDocsInFolder->setProperty("tag", 1);

    lvCleanSelectedDocsInFolder =
        layout->place(Named(new QTreeWidget(page), "lvCleanSelectedDocsInFolder"), QRect(304, 192, 369, 209), akAll);
    lvCleanSelectedDocsInFolder->setRootIsDecorated(false);
    lvCleanSelectedDocsInFolder->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvCleanSelectedDocsInFolder->setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("File Size")});
    lvCleanSelectedDocsInFolder->setColumnWidth(0, 240);
    lvCleanSelectedDocsInFolder->setColumnWidth(1, 70);
    SetTextColour(lvCleanSelectedDocsInFolder, kDarkGrey);
    lvCleanSelectedDocsInFolder->hide();

    chkCleanIncludeSubfolders =
        layout->place(Named(new QCheckBox(QStringLiteral("Include sub-folders"), page), "chkCleanIncludeSubfolders"),
                      QRect(40, 208, 129, 17));
    chkCleanOverwriteOriginal = layout->place(
        Named(new QCheckBox(QStringLiteral("Save cleaned file over the original"), page), "chkCleanOverwriteOriginal"),
        QRect(40, 240, 193, 17));
    // Empty until a listing counts; as wide as the list, so that no count
    // is cut whatever the window's size.
    lblCleanSelectedDocsInFolder = layout->place(PlainLabel(page, "lblCleanSelectedDocsInFolder", QString()),
                                                 QRect(304, 408, 369, 15), akLeft | akBottom);
    SetTextColour(lblCleanSelectedDocsInFolder, kDarkGrey);
    lblCleanSelectedDocsInFolder->hide();

    lblCleanInfo = layout->place(PlainLabel(page, "lblCleanInfo", QStringLiteral("--")), QRect(40, 432, 665, 15),
                                 akLeft | akRight | akBottom);
    SetTextColour(lblCleanInfo, kErrorRed);
    lblCleanInfo->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblCleanInfo->hide();

    Button3 = layout->place(Button(page, "Button3", QStringLiteral("< &Back")), QRect(552, 424, 75, 25), akRight | akBottom);
    btnClean2 = layout->place(Button(page, "btnClean2", QStringLiteral("&Next >")), QRect(640, 424, 75, 25), akRight | akBottom);

    for (QToolButton* flat : {btnCleanSingleDoc, btnCleanAllDocsInFolder, btnCleanSelectedDocsInFolder})
        flat->setFocusPolicy(Qt::NoFocus);
    // A mode from the start: "&Next >" never goes on with none.
    rbCleanSingleDoc->setChecked(true);
    rbCleanSingleDocClick();
    QWidget* order[] = {chkCleanWordDocs,           chkCleanExcelDocs,           chkCleanPowerpointDocs,
                        rbCleanSingleDoc,           txtCleanSingleDoc,           rbCleanAllDocsInFolder,
                        txtCleanAllDocsInFolder,    rbCleanSelectedDocsInFolder, txtCleanSelectedDocsInFolder,
                        lvCleanSelectedDocsInFolder, chkCleanIncludeSubfolders,  chkCleanOverwriteOriginal,
                        btnClean2,                  Button3};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TfrmVelmoraMain::buildCleanSettingsPage() {
    QWidget* page = TabSheet5;
    auto* pageLayout = new AnchorLayout(page, kPageSize);
    ScrollBox1 = pageLayout->place(Named(new QScrollArea(page), "ScrollBox1"), QRect(QPoint(0, 0), kPageSize), akAll);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    auto* content = new QWidget;
    SetBackground(content, Qt::white);
    // Scrolls once the page is smaller than the designed content, so the
    // counts panel is never cut off at the minimum size.
    content->setMinimumSize(kPageSize.width() - 20, kPageSize.height() - 2);
    ScrollBox1->setWidget(content);
    auto* layout = new AnchorLayout(content, QSize(kPageSize.width(), kPageSize.height() - 2));
    // The box added after the designed ones takes a row; the boxes after it
    // move down, those below the wide gap by less, so that the page still
    // holds them all without scrolling.
    constexpr int kAddedRow = 24, kBelowGap = 16;

    AutoLabel(*layout, content, "Label13", QStringLiteral("Clean Settings"), QPoint(16, 16), 12, true);
    auto link = [&](const char* name, const QString& text, QPoint at, int tag) {
        auto* label = new LinkLabel(text, content);
        label->setObjectName(QString::fromLatin1(name));
        label->setProperty("tag", tag);
        label->setHandler([this, label] { framework::RunGuarded([this, label] { lblSelectAllClick(label); }); });
        return layout->place(label, QRect(at, label->sizeHint()));
    };
    lblCleanMode = layout->place(PlainLabel(content, "lblCleanMode", QString()), QRect(16, 38, 350, 15));
    SetTextColour(lblCleanMode, kDarkGrey);
    lblSelectAll = link("lblSelectAll", QStringLiteral("Select All"), QPoint(176, 24), 0);
    lblSelectNone = link("lblSelectNone", QStringLiteral("Select None"), QPoint(232, 24), 1);

    struct Option {
        QCheckBox** box;
        const char* name;
        const char* caption;
        QRect at;
    };
    const Option options[] = {
        {&chkClearTitle, "chkClearTitle", "Clear Title", {32, 56, 137, 17}},
        {&chkClearSubject, "chkClearSubject", "Clear Subject", {32, 80, 137, 17}},
        {&chkClearKeywords, "chkClearKeywords", "Clear Keywords", {32, 104, 137, 17}},
        {&chkClearComments, "chkClearComments", "Clear Comments", {32, 128, 137, 17}},
        {&chkResetTemplate, "chkResetTemplate", "Reset Template Used to Normal.dot", {32, 152, 217, 17}},
        {&chkResetRevisionCount, "chkResetRevisionCount", "Reset Revision Count to 1", {32, 176, 217, 17}},
        {&chkResetTotalEditTime, "chkResetTotalEditTime", "Reset Total Editing Time to 0", {32, 200, 217, 17}},
        {&chkRemoveRevisionLog, "chkRemoveRevisionLog", "Remove Hidden Revision Log", {32, 232, 217, 17}},
        // Added after the designed boxes, which move down to make room.
        {&chkRemoveCustomProperties, "chkRemoveCustomProperties", "Remove Custom Properties", {32, 256, 217, 17}},
        {&chkRemoveGUID, "chkRemoveGUID", "Remove Unique Identifier (GUID)", {32, 256 + kAddedRow, 217, 17}},
        {&chkRemoveHyperlinks, "chkRemoveHyperlinks", "Remove Recent Hyperlinks List", {32, 280 + kAddedRow, 217, 17}},
        {&chkClearLastEditedBy, "chkClearLastEditedBy", "Clear Last Edited By", {40, 320 + kBelowGap, 217, 17}},
        {&chkClearLastSavedDate, "chkClearLastSavedDate", "Clear Last Saved Date", {32, 336 + kBelowGap, 217, 17}},
        {&chkClearLastPrintedDate, "chkClearLastPrintedDate", "Clear Last Printed Date", {32, 360 + kBelowGap, 217, 17}},
        {&chkClearCreationDate, "chkClearCreationDate", "Clear Creation Date", {32, 384 + kBelowGap, 217, 17}},
        {&chkResetAuthor, "chkResetAuthor", "Reset Author to specified:", {32, 416 + kBelowGap, 161, 17}},
        {&chkResetCompany, "chkResetCompany", "Reset Company to specified:", {32, 445 + kBelowGap, 169, 17}},
    };
    for (const Option& option : options) {
        *option.box = layout->place(Named(new QCheckBox(QString::fromLatin1(option.caption), content), option.name), option.at);
        (*option.box)->setProperty("tag", 10);
    }
    txtAuthor = layout->place(Named(new QLineEdit(content), "txtAuthor"), QRect(208, 416 + kBelowGap, 201, 21));
    txtCompany = layout->place(Named(new QLineEdit(content), "txtCompany"), QRect(208, 441 + kBelowGap, 201, 21));

    auto* panel3 = layout->place(Named(new QFrame(content), "Panel3"), QRect(384, 24, 337, 129));
    panel3->setFrameShape(QFrame::StyledPanel);
    auto& panel3Layout = *new AnchorLayout(panel3, QSize(337, 129));
    AutoLabel(panel3Layout, panel3, "Label12", QStringLiteral("Selected Items for Cleaning"), QPoint(16, 8), 24);
    const char* names[] = {"Label14", "Label21", "Label22"};
    const char* captions[] = {"Word Documents:", "Excel Documents:", "Powerpoint Documents:"};
    QLabel** values[] = {&lblSelectedWordDocs, &lblSelectedExcelDocs, &lblSelectedPowerpointDocs};
    const char* valueNames[] = {"lblSelectedWordDocs", "lblSelectedExcelDocs", "lblSelectedPowerpointDocs"};
    for (int i = 0; i < 3; ++i) {
        AutoLabel(panel3Layout, panel3, names[i], QString::fromLatin1(captions[i]), QPoint(16, 48 + 24 * i), 12);
        *values[i] = panel3Layout.place(PlainLabel(panel3, valueNames[i], QStringLiteral("--")), QRect(176, 48 + 24 * i, 120, 16));
        SetPixelFont(*values[i], 12);
    }

    // On the page, over the scroll area: the way on and back is never
    // scrolled out of sight, at any window size.
    Button5 = pageLayout->place(Button(page, "Button5", QStringLiteral("< &Back")), QRect(535, 424, 75, 25), akRight | akBottom);
    Button8 = pageLayout->place(Button(page, "Button8", QStringLiteral("&Next >")), QRect(623, 424, 75, 25), akRight | akBottom);
    Button5->raise();
    Button8->raise();

    QWidget* order[] = {chkClearSubject,       chkClearKeywords,       chkClearComments,     chkResetTemplate,
                        chkResetRevisionCount, chkResetTotalEditTime,  chkRemoveRevisionLog, chkRemoveCustomProperties,
                        chkRemoveGUID,
                        chkRemoveHyperlinks,   chkClearLastEditedBy,   chkClearLastSavedDate, chkClearLastPrintedDate,
                        chkClearCreationDate,  chkResetAuthor,         chkResetCompany,      txtAuthor,
                        txtCompany,            Button8,                Button5,              chkClearTitle};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TfrmVelmoraMain::buildCompletionPage() {
    QWidget* page = TabSheet6;
    auto* layout = new AnchorLayout(page, kPageSize);
    auto* panel4 = layout->place(Named(new QWidget(page), "Panel4"), QRect(32, 16, 681, 161), akLeft | akTop | akRight);
    auto* panelLayout = new AnchorLayout(panel4, QSize(681, 161));
    Label24 = panelLayout->place(PlainLabel(panel4, "Label24", QStringLiteral("Cleaning of xx Word document(s) completed")),
                                 QRect(24, 16, 633, 32), akLeft | akTop | akRight);
    SetPixelFont(Label24, 24);
    ProgressBar1 = panelLayout->place(Named(new QProgressBar(panel4), "ProgressBar1"), QRect(24, 56, 633, 17),
                                      akLeft | akTop | akRight);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    // Three lines, from the top: a failure's reason (a lock file's path and
    // owner) is often that long; beyond them the text is cut, whole in the
    // tooltip and the error box.
    Label25 = panelLayout->place(PlainLabel(panel4, "Label25", QStringLiteral("Cleaning completed!")),
                                 QRect(24, 104, 633, 3 * QFontMetrics(font()).lineSpacing() + 2), akLeft | akTop | akRight);
    Label25->setWordWrap(true);
    Label25->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetTextColour(Label25, kDarkGrey);
    Button10 = layout->place(Button(page, "Button10", QStringLiteral("Main Menu")), QRect(632, 424, 83, 25),
                             akRight | akBottom);
}

void TfrmVelmoraMain::buildUnusedPage() {
    // Designed, but no navigation leads here.
    QWidget* page = TabSheet7;
    auto* layout = new AnchorLayout(page, kPageSize);
    auto* group = layout->place(new QGroupBox(QStringLiteral("Selected Items"), page), QRect(16, 16, 300, 105));
    auto& groupLayout = *new AnchorLayout(group, QSize(300, 105));
    const char* captions[] = {"Word Documents:", "Excel Documents:", "Powerpoint Documents:"};
    for (int i = 0; i < 3; ++i) {
        AutoLabel(groupLayout, group, "", QString::fromLatin1(captions[i]), QPoint(16, 24 + 24 * i));
        AutoLabel(groupLayout, group, "", QStringLiteral("--"), QPoint(176, 24 + 24 * i));
    }
}

// Buttons, boxes and labels are read by their captions; what has none (the
// fields, the pictures, the "..." pickers, the lists) gets a name here.
void TfrmVelmoraMain::nameForScreenReaders() {
    const std::pair<QWidget*, const char*> names[] = {
        {txtAnalyzeFile, "Document to analyze"},
        {txtAnalyzeSelectedFiles, "Folder to analyze"},
        {txtCleanSingleDoc, "Document to clean"},
        {txtCleanAllDocsInFolder, "Folder to clean"},
        {txtCleanSelectedDocsInFolder, "Folder to list for cleaning"},
        {txtAuthor, "Author to set"},
        {txtCompany, "Company to set"},
        {btnAnalyzeFile, "Choose the document to analyze"},
        {btnAnalyzeSelectedFiles, "Choose the folder to analyze"},
        {btnCleanSingleDoc, "Choose the document to clean"},
        {btnCleanAllDocsInFolder, "Choose the folder to clean"},
        {btnCleanSelectedDocsInFolder, "Choose a folder to list"},
        {lvMetadata, "Analysis results"},
        {lvCleanSelectedDocsInFolder, "Documents in the selected folder"},
        {ProgressBar1, "Cleaning progress"},
        {Image4, "Ternwick Software home page"},
        {findChild<QLabel*>(QStringLiteral("Image5")), "Velmora"},
        {findChild<QLabel*>(QStringLiteral("ingLogo")), "Velmora"},
        {TwHtmlLabel1, "About metadata"},
    };
    for (const auto& [widget, name] : names)
        if (widget) widget->setAccessibleName(QString::fromLatin1(name));
    Image4->setAccessibleDescription(QString::fromLatin1(kMakersHomePage));
    lblAnalysisStatus->setAccessibleDescription(QStringLiteral("What could not be read, with the reasons in the tooltip"));
}

void TfrmVelmoraMain::connectHandlers() {
    using framework::Guarded;
    auto onClick = [this](QAbstractButton* button, void (TfrmVelmoraMain::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    onClick(btnAnalyze, &TfrmVelmoraMain::btnAnalyzeClick);
    onClick(btnClean, &TfrmVelmoraMain::btnCleanClick);
    onClick(btnAnalyze2, &TfrmVelmoraMain::btnAnalyze2Click);
    onClick(Button4, &TfrmVelmoraMain::Button4Click);
    onClick(btnClean2, &TfrmVelmoraMain::btnClean2Click);
    onClick(Button3, &TfrmVelmoraMain::Button3Click);
    onClick(Button2, &TfrmVelmoraMain::Button2Click);
    onClick(Button1, &TfrmVelmoraMain::Button1Click);
    onClick(Button8, &TfrmVelmoraMain::Button8Click);
    onClick(Button5, &TfrmVelmoraMain::Button5Click);
    onClick(Button10, &TfrmVelmoraMain::Button1Click);
    onClick(btnAnalyzeFile, &TfrmVelmoraMain::btnAnalyzeFileClick);
    onClick(btnAnalyzeSelectedFiles, &TfrmVelmoraMain::btnAnalyzeSelectedFilesClick);
    onClick(btnCleanSingleDoc, &TfrmVelmoraMain::btnCleanSingleDocClick);
    for (QToolButton* button : {btnCleanAllDocsInFolder, btnCleanSelectedDocsInFolder})
        connect(button, &QAbstractButton::clicked, this, Guarded([this, button] { btnCleanAllDocsInFolderClick(button); }));
    // On toggled(true), so choosing with the keyboard runs the rule as a click does.
    for (QRadioButton* radio : {rbAnalyzeFile, rbAnalyzeMyDocuments, rbAnalyzeSelectedFiles}) {
        connect(radio, &QRadioButton::toggled, this, Guarded([this](bool on) {
                    if (on) rbAnalyzeFileClick();
                }));
    }
    for (QRadioButton* radio : {rbCleanSingleDoc, rbCleanAllDocsInFolder, rbCleanSelectedDocsInFolder}) {
        connect(radio, &QRadioButton::toggled, this, Guarded([this](bool on) {
                    if (on) rbCleanSingleDocClick();
                }));
    }
    connect(SpeedButton1, &QToolButton::clicked, this, Guarded([this] {
                PopupMenuResultsView->popup(SpeedButton1->mapToGlobal(QPoint(0, SpeedButton1->height())));
            }));
}

void TfrmVelmoraMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (placedOnce_) return;
    placedOnce_ = true;
    // A build without an update address never checks.
    if (!update::UpdateURL().isEmpty()) TimerCheckForUpdates->SetEnabled(true);
    auto place = [this] {
        // The designed minimum is an outer size; Qt's is the client's, so the
        // frame is measured once the window is shown.
        const QSize frame = frameGeometry().size() - size();
        setMinimumSize(kMinimumOuter - frame);
        // Wayland leaves placement to the compositor.
        if (QGuiApplication::platformName() != QLatin1String("wayland")) {
            if (QScreen* screen = this->screen()) {
                QRect outer = frameGeometry();
                outer.moveCenter(screen->availableGeometry().center());
                move(outer.topLeft());
            }
        }
    };
    place();
    // A window manager may add its frame only after the first show.
    QTimer::singleShot(0, this, place);
}

void TfrmVelmoraMain::TimerCheckForUpdatesTimer() {
    // A scan, a listing or a cleaning run finishes first; the timer asks again.
    if (busy_ || listings_.Active()) return;
    TimerCheckForUpdates->SetEnabled(false);
    double lastCheck = update::LocalNow();
    if (StartupCheck()) {
        StartupCheck()(QString(), lastCheck, update::ufEveryStart);
    } else {
        update::ScheduledUpdateCheck(QString(), lastCheck, update::ufEveryStart);
    }
}

void TfrmVelmoraMain::closeEvent(QCloseEvent* event) {
    // A cleaning run ends between two documents, never inside one.
    if (cleaning_ && event->spontaneous()) {
        event->ignore();
        if (!stopRequested_ &&
            framework::CenteredMessageDlg(QStringLiteral("Stop cleaning after the current document?"),
                                          framework::MessageKind::Confirmation,
                                          {framework::MessageButton::Yes, framework::MessageButton::No}) ==
                framework::ButtonResult(framework::MessageButton::Yes))
            stopRequested_ = true;
        return;
    }
    // The update check disables this window and must not lose it meanwhile.
    if ((busy_ || update::UpdateCheckRunning()) && event->spontaneous()) {
        event->ignore();
        return;
    }
    // Whatever a listing still finds is of no use now; the search stops
    // before its next folder.
    listings_.Cancel();
    QWidget::closeEvent(event);
}

void TfrmVelmoraMain::btnAnalyzeClick() { PageControl1->setCurrentIndex(1); }
void TfrmVelmoraMain::btnCleanClick() { PageControl1->setCurrentIndex(2); }
void TfrmVelmoraMain::Button4Click() { PageControl1->setCurrentIndex(0); }
void TfrmVelmoraMain::Button3Click() { PageControl1->setCurrentIndex(0); }
void TfrmVelmoraMain::Button1Click() { PageControl1->setCurrentIndex(0); }
void TfrmVelmoraMain::Button5Click() { PageControl1->setCurrentIndex(2); }

engine::TDocumentTypes TickedTypes(const QCheckBox* word, const QCheckBox* excel, const QCheckBox* powerpoint) {
    engine::TDocumentTypes types = 0;
    if (word->isChecked()) types |= engine::dtWord;
    if (excel->isChecked()) types |= engine::dtExcel;
    if (powerpoint->isChecked()) types |= engine::dtPowerPoint;
    return types;
}

void CountPath(const QString& path, int32_t& word, int32_t& excel, int32_t& powerpoint) {
    if (path.contains(QLatin1String(".doc"))) ++word;
    if (path.contains(QLatin1String(".xls"))) ++excel;
    if (path.contains(QLatin1String(".ppt"))) ++powerpoint;
}

}  // namespace velmora::app

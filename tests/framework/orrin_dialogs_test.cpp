#include "framework/orrin_dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "framework/message_box_dialog.h"
#include "framework/velmora_application.h"
#include "recording_presenter.h"
#include "support/case_name.h"

namespace velmora::framework {
namespace {

using testing::RecordingPresenter;

// --- The request CenteredMessageDlg() builds, answered by a recorder ---

struct KindCase {
    std::string name;
    MessageKind kind;
    QString caption;
    QMessageBox::Icon icon;
};

class MessageKindTable : public ::testing::TestWithParam<KindCase> {};

TEST_P(MessageKindTable, GivesCaptionAndIcon) {
    RecordingPresenter presenter;
    TApplication::SetTitle("Velmora Kinds");
    CenteredMessageDlg("Text", GetParam().kind, {MessageButton::OK});
    TApplication::SetTitle("Velmora");
    ASSERT_EQ(presenter.Requests().size(), 1u);
    EXPECT_EQ(presenter.Requests()[0].caption, GetParam().caption);
    EXPECT_EQ(presenter.Requests()[0].icon, GetParam().icon);
    EXPECT_EQ(presenter.Requests()[0].text, "Text");
}

INSTANTIATE_TEST_SUITE_P(Kinds, MessageKindTable,
                         ::testing::Values(KindCase{"Warning", MessageKind::Warning, "Warning", QMessageBox::Warning},
                                           KindCase{"Error", MessageKind::Error, "Error", QMessageBox::Critical},
                                           KindCase{"Information", MessageKind::Information, "Information",
                                                    QMessageBox::Information},
                                           KindCase{"Confirmation", MessageKind::Confirmation, "Confirm",
                                                    QMessageBox::Information},
                                           KindCase{"Custom", MessageKind::Custom, "Velmora Kinds", QMessageBox::NoIcon}),
                         velmora::testing::CaseName{});

TEST(CenteredMessageDlg, OffersTheButtonsOfTheSetAndReturnsTheAnswer) {
    RecordingPresenter presenter(7);
    EXPECT_EQ(CenteredMessageDlg("Remove the metadata?", MessageKind::Information, {MessageButton::No, MessageButton::Yes}), 7);
    ASSERT_EQ(presenter.Requests().size(), 1u);
    const MessageBoxRequest& box = presenter.Requests()[0];
    EXPECT_EQ(box.caption, "Information");
    EXPECT_EQ(box.text, "Remove the metadata?");
    EXPECT_EQ(box.buttons, (std::vector<MessageBoxChoice>{{"&Yes", 6}, {"&No", 7}}));
    EXPECT_EQ(box.defaultButton, 0);  // no OK: the first button
    EXPECT_EQ(box.closeResult, 0);    // no Cancel: closing answers nothing
}

TEST(CenteredMessageDlg, ShowsEveryButtonInTableOrderWithOkAsDefault) {
    RecordingPresenter presenter;
    CenteredMessageDlg("All of them", MessageKind::Custom,
                       {MessageButton::Close, MessageButton::Help, MessageButton::YesToAll, MessageButton::NoToAll,
                        MessageButton::All, MessageButton::Ignore, MessageButton::Retry, MessageButton::Abort,
                        MessageButton::Cancel, MessageButton::OK, MessageButton::No, MessageButton::Yes});
    ASSERT_EQ(presenter.Requests().size(), 1u);
    const MessageBoxRequest& box = presenter.Requests()[0];
    EXPECT_EQ(box.buttons, (std::vector<MessageBoxChoice>{{"&Yes", 6},
                                                         {"&No", 7},
                                                         {"OK", 1},
                                                         {"Cancel", 2},
                                                         {"&Abort", 3},
                                                         {"&Retry", 4},
                                                         {"&Ignore", 5},
                                                         {"&All", 12},
                                                         {"N&o to All", 13},
                                                         {"Yes to &All", 14},
                                                         {"&Help", -1},
                                                         {"&Close", 8}}));
    EXPECT_EQ(box.defaultButton, 2);
    EXPECT_EQ(box.closeResult, 2);  // Cancel offered: closing is Cancel
}

TEST(CenteredMessageDlg, AnEmptySetShowsOk) {
    RecordingPresenter presenter;
    CenteredMessageDlg("Nothing chosen", MessageKind::Warning, {});
    ASSERT_EQ(presenter.Requests().size(), 1u);
    EXPECT_EQ(presenter.Requests()[0].buttons, (std::vector<MessageBoxChoice>{{"OK", 1}}));
}

TEST(MessageButtons, SetsOneBitPerButtonInTableOrder) {
    EXPECT_EQ(MessageButtons({MessageButton::Yes}).Bits(), 1u);
    EXPECT_EQ(MessageButtons({MessageButton::No, MessageButton::Cancel}).Bits(), 0b1010u);
    EXPECT_EQ(MessageButtons({MessageButton::Close}).Bits(), 1u << 11);
    EXPECT_TRUE(MessageButtons().IsEmpty());
}

struct CentreCase {
    std::string name;
    QRect area;
    QSize box;
    QPoint topLeft;
};

class CentredTopLeftTable : public ::testing::TestWithParam<CentreCase> {};

TEST_P(CentredTopLeftTable, HalvesWithIntegerDivisionAndStaysOnScreen) {
    EXPECT_EQ(CentredTopLeft(GetParam().area, GetParam().box), GetParam().topLeft);
}

INSTANTIATE_TEST_SUITE_P(Areas, CentredTopLeftTable,
                         ::testing::Values(CentreCase{"even", {100, 80, 600, 400}, {200, 100}, {300, 230}},
                                           CentreCase{"odd_sizes_round_down", {100, 80, 601, 401}, {201, 101}, {300, 230}},
                                           CentreCase{"box_larger_than_area", {10, 10, 100, 50}, {300, 200}, {0, 0}},
                                           CentreCase{"area_left_of_screen", {-1920, 0, 800, 600}, {200, 100}, {0, 250}}),
                         velmora::testing::CaseName{});

// --- The real dialog, offscreen, answered by clicks ---

// Runs `answer` on the next modal box as soon as it is shown, and closes the
// box if the answer did not, so a failing test ends instead of hanging.
// Gives up after a while when no box comes, so it cannot answer another
// test's box.
void AnswerNextBox(std::function<void(QDialog&)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [poll, answer = std::move(answer), triesLeft = 5000]() mutable {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (box == nullptr && --triesLeft > 0) return;
        poll->stop();
        poll->deleteLater();
        if (box == nullptr) {
            ADD_FAILURE() << "no box was shown";
            return;
        }
        answer(*box);
        if (box->isVisible()) box->done(-100);
    });
    poll->start();
}

QPushButton* FindButton(QDialog& box, const QString& caption) {
    for (QPushButton* button : box.findChildren<QPushButton*>()) {
        if (button->text() == caption) return button;
    }
    return nullptr;
}

void Click(QDialog& box, const QString& caption) {
    QPushButton* button = FindButton(box, caption);
    ASSERT_NE(button, nullptr) << caption.toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

struct ClickCase {
    std::string name;
    MessageButtons buttons;
    QString press;  // a button caption, or "Escape"
    int result;
};

class RealMessageBoxTable : public ::testing::TestWithParam<ClickCase> {};

TEST_P(RealMessageBoxTable, ReturnsTheResultOfWhatWasPressed) {
    const ClickCase& click = GetParam();
    AnswerNextBox([&](QDialog& box) {
        if (click.press == "Escape") {
            QTest::keyClick(&box, Qt::Key_Escape);
        } else {
            Click(box, click.press);
        }
    });
    EXPECT_EQ(CenteredMessageDlg("Continue?", MessageKind::Confirmation, click.buttons), click.result);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, RealMessageBoxTable,
    ::testing::Values(ClickCase{"Yes", {MessageButton::Yes, MessageButton::No}, "&Yes", 6},
                      ClickCase{"No", {MessageButton::Yes, MessageButton::No}, "&No", 7},
                      ClickCase{"Ignore", {MessageButton::Abort, MessageButton::Retry, MessageButton::Ignore}, "&Ignore", 5},
                      ClickCase{"EscapeWithCancel", {MessageButton::OK, MessageButton::Cancel}, "Escape", 2},
                      ClickCase{"EscapeWithoutCancel", {MessageButton::Yes, MessageButton::No}, "Escape", 0}),
    velmora::testing::CaseName{});

TEST(RealMessageBox, ShowsCaptionTextAndButtonsInTableOrder) {
    QStringList captions;
    QString title;
    bool textShown = false;
    AnswerNextBox([&](QDialog& box) {
        title = box.windowTitle();
        for (QLabel* label : box.findChildren<QLabel*>())
            textShown |= label->text() == "<b>not markup</b>" && label->textFormat() == Qt::PlainText;
        QPushButton* previous = nullptr;
        // Left to right is table order.
        for (const QString& caption : QStringList{"&Yes", "&No", "Cancel", "&Help"}) {
            QPushButton* button = FindButton(box, caption);
            ASSERT_NE(button, nullptr);
            if (previous != nullptr) {
                EXPECT_LT(previous->x(), button->x());
            }
            previous = button;
        }
        EXPECT_TRUE(FindButton(box, "&Yes")->isDefault());
        Click(box, "Cancel");
    });
    EXPECT_EQ(CenteredMessageDlg("<b>not markup</b>", MessageKind::Warning,
                                 {MessageButton::Help, MessageButton::Cancel, MessageButton::No, MessageButton::Yes}),
              2);
    EXPECT_EQ(title, "Warning");
    EXPECT_TRUE(textShown);
}

TEST(RealMessageBox, OkIsTheDefaultButtonAndEnterPressesIt) {
    AnswerNextBox([](QDialog& box) {
        ASSERT_NE(FindButton(box, "OK"), nullptr);
        EXPECT_TRUE(FindButton(box, "OK")->isDefault());
        QTest::keyClick(&box, Qt::Key_Return);
    });
    EXPECT_EQ(CenteredMessageDlg("Done", MessageKind::Information, {MessageButton::OK, MessageButton::Cancel}), 1);
}

TEST(RealMessageBox, HelpLeavesTheBoxOpen) {
    bool openAfterHelp = false;
    AnswerNextBox([&](QDialog& box) {
        Click(box, "&Help");
        QCoreApplication::processEvents();
        openAfterHelp = box.isVisible();
        Click(box, "&Close");
    });
    EXPECT_EQ(CenteredMessageDlg("Need help?", MessageKind::Information, {MessageButton::Help, MessageButton::Close}), 8);
    EXPECT_TRUE(openAfterHelp);
}

TEST(RealMessageBox, IsCentredOverTheActiveWindow) {
    QWidget window;
    window.setGeometry(100, 80, 600, 400);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QRect windowFrame;
    QRect boxFrame;
    QWidget* boxParent = nullptr;
    AnswerNextBox([&](QDialog& box) {
        windowFrame = window.frameGeometry();
        boxFrame = box.frameGeometry();
        boxParent = box.parentWidget();
        Click(box, "OK");
    });
    EXPECT_EQ(CenteredMessageDlg("Centred", MessageKind::Information, {MessageButton::OK}), 1);
    EXPECT_EQ(boxParent, &window);
    EXPECT_EQ(boxFrame.left(), windowFrame.left() + windowFrame.width() / 2 - boxFrame.width() / 2);
    EXPECT_EQ(boxFrame.top(), windowFrame.top() + windowFrame.height() / 2 - boxFrame.height() / 2);
}

// --- The folder dialog, answered by a recorder ---

struct FolderCase {
    std::string name;
    QString initial;
    QString answer;
    QString expectedStart;
};

class PickFolderTable : public ::testing::TestWithParam<FolderCase> {};

TEST_P(PickFolderTable, AsksWithTitleAndStartFolderAndReturnsTheAnswer) {
    QString title;
    QString start;
    ScopedFolderPicker picker([&](const QString& askedTitle, const QString& startFolder) {
        title = askedTitle;
        start = startFolder;
        return GetParam().answer;
    });
    EXPECT_EQ(PickFolder(GetParam().initial), GetParam().answer);
    EXPECT_EQ(title, "Select Directory");
    EXPECT_EQ(start, GetParam().expectedStart);
}

INSTANTIATE_TEST_SUITE_P(Folders, PickFolderTable,
                         ::testing::Values(FolderCase{"chosen", "/home/ann/Reports", "/home/ann/Old", "/home/ann/Reports"},
                                           FolderCase{"empty_starts_at_root", "", "/srv", "/"},
                                           FolderCase{"cancelled", "/tmp", "", "/tmp"}),
                         velmora::testing::CaseName{});

}  // namespace
}  // namespace velmora::framework

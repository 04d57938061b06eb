#include "framework/event_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "framework/velmora_application.h"
#include "recording_presenter.h"
#include "support/case_name.h"

namespace velmora::framework {
namespace {

using testing::RecordingPresenter;

struct ErrorTextCase {
    std::string name;
    QString message;
    QString expected;
};

class DefaultErrorBoxTextTable : public ::testing::TestWithParam<ErrorTextCase> {};

// The rule compares character codes only, so "?" (U+003F) and "/" get a
// full stop too, while "!", ")" and "-" (below U+002E) do not.
TEST_P(DefaultErrorBoxTextTable, AppendsAFullStopAfterCharactersSortingAboveIt) {
    EXPECT_EQ(DefaultErrorBoxText(GetParam().message), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DefaultErrorBoxTextTable,
    ::testing::Values(ErrorTextCase{"letter", "Failed", "Failed."},                     //
                      ErrorTextCase{"digit", "Error 5", "Error 5."},                    //
                      ErrorTextCase{"slash_just_above_stop", "C:/", "C:/."},            //
                      ErrorTextCase{"non_ascii", QString::fromUtf8("Fehler ä"), QString::fromUtf8("Fehler ä.")},
                      ErrorTextCase{"full_stop", "Done.", "Done."},                     //
                      ErrorTextCase{"question_mark_sorts_above_stop", "Why?", "Why?."},  //
                      ErrorTextCase{"closing_parenthesis", "x)", "x)"},                 //
                      ErrorTextCase{"exclamation", "Stop!", "Stop!"},                   //
                      ErrorTextCase{"hyphen_just_below_stop", "a-", "a-"},              //
                      ErrorTextCase{"trailing_space", "Failed ", "Failed "},            //
                      ErrorTextCase{"empty", "", ""}),
    velmora::testing::CaseName{});

TEST(ExceptionText, ReadsStandardExceptionsAsUtf8AndNamesOthersNeutrally) {
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(std::runtime_error("Datei \xE2\x80\x9E" "a\xC3\xA4" "\xE2\x80\x9C fehlt"))),
              QString::fromUtf8("Datei „aä“ fehlt"));
    const QString unknown = ExceptionText(std::make_exception_ptr(42));
    EXPECT_FALSE(unknown.isEmpty());
    EXPECT_FALSE(unknown.contains("42"));
    EXPECT_EQ(ExceptionText(nullptr), "");
}

TEST(DefaultErrorBox, IsAStopBoxWithOneOkButtonCaptionedWithTheTitle) {
    RecordingPresenter presenter;
    TApplication::SetTitle("Velmora Test");
    ShowDefaultErrorBox(std::make_exception_ptr(std::runtime_error("Disk full")));
    TApplication::SetTitle("Velmora");

    ASSERT_EQ(presenter.Requests().size(), 1u);
    const MessageBoxRequest& box = presenter.Requests()[0];
    EXPECT_EQ(box.caption, "Velmora Test");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.text, "Disk full.");
    EXPECT_EQ(box.buttons, (std::vector<MessageBoxChoice>{{"OK", 1}}));
    EXPECT_EQ(box.defaultButton, 0);
}

TEST(RunGuarded, ShowsWhatEscapesAndStaysQuietOtherwise) {
    RecordingPresenter presenter;
    bool ran = false;
    RunGuarded([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(presenter.Requests().empty());

    RunGuarded([] { throw std::invalid_argument("Bad value"); });
    RunGuarded([] { throw 7; });
    ASSERT_EQ(presenter.Requests().size(), 2u);
    EXPECT_EQ(presenter.Requests()[0].text, "Bad value.");
    EXPECT_EQ(presenter.Requests()[1].text, DefaultErrorBoxText(ExceptionText(std::make_exception_ptr(7))));
}

TEST(Guarded, ATimerHandlerThatThrowsShowsTheBoxAndTheTimerGoesOn) {
    RecordingPresenter presenter;
    QTimer timer;
    timer.setInterval(1);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, Guarded([&] {
                         ++ticks;
                         if (ticks == 1) throw std::runtime_error("First tick failed");
                     }));
    timer.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }));
    timer.stop();
    ASSERT_EQ(presenter.Requests().size(), 1u);
    EXPECT_EQ(presenter.Requests()[0].text, "First tick failed.");
}

TEST(Guarded, AClickHandlerThatThrowsLetsLaterHandlersAndClicksRun) {
    RecordingPresenter presenter;
    QPushButton button("Analyze");
    int laterHandlerRuns = 0;
    QObject::connect(&button, &QPushButton::clicked, Guarded([] { throw std::runtime_error("Cannot analyze"); }));
    QObject::connect(&button, &QPushButton::clicked, [&] { ++laterHandlerRuns; });
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(laterHandlerRuns, 2);
    EXPECT_EQ(presenter.Requests().size(), 2u);
}

TEST(Guarded, PassesOnTheSignalArgumentsTheHandlerTakes) {
    RecordingPresenter presenter;
    QPushButton button("Option");
    button.setCheckable(true);
    std::vector<bool> states;
    QObject::connect(&button, &QPushButton::toggled, Guarded([&](bool checked) { states.push_back(checked); }));
    button.toggle();
    button.toggle();
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_TRUE(presenter.Requests().empty());
}

}  // namespace
}  // namespace velmora::framework

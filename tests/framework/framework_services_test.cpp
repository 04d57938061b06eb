#include "framework/framework_services.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

#include "framework/desktop_helpers.h"
#include "framework/velmora_application.h"
#include "recording_presenter.h"

namespace velmora::framework {
namespace {

using testing::RecordingPresenter;

TEST(RunMessageLoopUntilClosed, ReturnsWhenTheMainWindowClosesButNotOnARefusedClose) {
    QWidget window;
    bool refusedCloseSurvived = false;
    bool mainWindowKnown = false;
    QTimer::singleShot(0, [&] {
        mainWindowKnown = MainWindow() == &window;
        SetCloseCommandEnabled(&window, false);
        // The desktop's request (title-bar button): a spontaneous close event.
        QCloseEvent request;
        QSpontaneKeyEvent::setSpontaneous(&request);
        QCoreApplication::instance()->notify(&window, &request);
        if (request.isAccepted()) window.hide();
        QTimer::singleShot(0, [&] {
            refusedCloseSurvived = window.isVisible();
            SetCloseCommandEnabled(&window, true);
            window.close();
        });
    });
    RunMessageLoopUntilClosed(window);
    EXPECT_TRUE(mainWindowKnown);
    EXPECT_TRUE(refusedCloseSurvived);
    EXPECT_FALSE(window.isVisible());
}

TEST(RequestTerminate, EndsTheLoopAfterTheCallerHasFinished) {
    QWidget window;
    bool callerFinished = false;
    QTimer::singleShot(0, [&] {
        RequestTerminate();
        callerFinished = true;
    });
    RunMessageLoopUntilClosed(window);
    EXPECT_TRUE(callerFinished);
    EXPECT_TRUE(window.isVisible());  // ended without closing anything
}

TEST(ProcessPendingMessages, DispatchesWhatIsPosted) {
    int handled = 0;
    QMetaObject::invokeMethod(qApp, [&] { ++handled; }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(qApp, [&] { ++handled; }, Qt::QueuedConnection);
    ProcessPendingMessages();
    EXPECT_EQ(handled, 2);
}

TEST(ShowModal, RunsTheDialogAsTheModalWindowAndReturnsItsResult) {
    QDialog dialog;
    QWidget* modalWhileShown = nullptr;
    QTimer::singleShot(0, [&] {
        modalWhileShown = QApplication::activeModalWidget();
        dialog.done(QDialog::Accepted);
    });
    EXPECT_EQ(ShowModal(dialog), QDialog::Accepted);
    EXPECT_EQ(modalWhileShown, &dialog);
}

TEST(TaskWindows, DisablesExactlyTheOthersAndEnablesExactlyThoseAgain) {
    QWidget progress;
    QWidget main;
    QWidget alreadyDisabled;
    QWidget hidden;
    auto* deletedMeanwhile = new QWidget;
    for (QWidget* window : {&progress, &main, &alreadyDisabled, deletedMeanwhile}) window->show();
    alreadyDisabled.setEnabled(false);

    const TaskWindowList disabled = DisableTaskWindows(&progress);
    EXPECT_TRUE(progress.isEnabled());
    EXPECT_FALSE(main.isEnabled());
    EXPECT_FALSE(alreadyDisabled.isEnabled());
    EXPECT_TRUE(hidden.isEnabled());
    EXPECT_EQ(disabled.size(), 2u);  // main and the one deleted below

    delete deletedMeanwhile;
    EnableTaskWindows(disabled);
    EXPECT_TRUE(main.isEnabled());
    EXPECT_FALSE(alreadyDisabled.isEnabled());
    EXPECT_TRUE(progress.isEnabled());
}

TEST(TaskWindows, AWindowOwningTheExceptedOneStaysEnabled) {
    // Qt disables owned windows with their owner: disabling the main window
    // would leave its progress window dead.
    QWidget main;
    auto* progress = new QWidget(&main, Qt::Window);
    QWidget other;
    for (QWidget* window : {&main, progress, &other}) window->show();

    const TaskWindowList disabled = DisableTaskWindows(progress);
    EXPECT_TRUE(progress->isEnabled());
    EXPECT_TRUE(main.isEnabled());
    EXPECT_FALSE(other.isEnabled());
    EnableTaskWindows(disabled);
    EXPECT_TRUE(other.isEnabled());
}

TEST(RunOnGuiThread, OnTheGuiThreadCallsDirectlyAndLetsExceptionsThrough) {
    std::thread::id ranOn;
    RunOnGuiThread([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_THROW(RunOnGuiThread([] { throw std::logic_error("direct"); }), std::logic_error);
}

TEST(ShowMessage, IsAPlainBoxWithOkCaptionedWithTheTitle) {
    RecordingPresenter presenter;
    ShowMessage("3 documents cleaned");
    ASSERT_EQ(presenter.Requests().size(), 1u);
    const MessageBoxRequest& box = presenter.Requests()[0];
    EXPECT_EQ(box.caption, TApplication::Title());
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.text, "3 documents cleaned");
    EXPECT_EQ(box.buttons, (std::vector<MessageBoxChoice>{{"OK", 1}}));
}

}  // namespace
}  // namespace velmora::framework

// Waiting on the GUI thread for a worker while both keep talking: the
// worker hands procedures over with RunOnGuiThread() while the GUI thread
// sits in WaitWithMessages(). A fault here deadlocks; ctest's timeout ends
// the run then.
#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QTimer>

#include "framework/desktop_helpers.h"
#include "framework/framework_services.h"
#include "engine/completion_signal.h"

namespace velmora::framework {
namespace {

TEST(WaitWithMessages, RunsTheWorkersHandOversInOrderOnTheGuiThread) {
    const std::thread::id guiThread = std::this_thread::get_id();
    engine::CompletionSignal done;
    std::vector<int> calls;
    bool allOnGuiThread = true;
    std::string failureSeenByWorker;

    std::thread worker([&] {
        for (int call = 0; call < 5; ++call) {
            RunOnGuiThread([&, call] {
                calls.push_back(call);
                allOnGuiThread &= std::this_thread::get_id() == guiThread;
            });
        }
        try {
            RunOnGuiThread([] { throw std::runtime_error("Cannot write the document"); });
        } catch (const std::runtime_error& error) {
            failureSeenByWorker = error.what();
        }
        done.Signal();
    });
    WaitWithMessages(done);
    worker.join();

    EXPECT_EQ(calls, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(allOnGuiThread);
    EXPECT_EQ(failureSeenByWorker, "Cannot write the document");
}

TEST(WaitWithMessages, DispatchesWhatTheWorkerPostedBeforeSignalling) {
    engine::CompletionSignal done;
    int progressUpdates = 0;
    std::thread worker([&] {
        // Only once the GUI thread is inside the wait: a signal raised
        // before it starts ends the wait at once, with nothing dispatched.
        RunOnGuiThread([] {});
        for (int update = 0; update < 3; ++update)
            QMetaObject::invokeMethod(qApp, [&] { ++progressUpdates; }, Qt::QueuedConnection);
        done.Signal();
    });
    WaitWithMessages(done);
    worker.join();
    EXPECT_EQ(progressUpdates, 3);
}

TEST(WaitWithMessages, ReturnsAtOnceWhenAlreadySignalledAndCanWaitAgain) {
    engine::CompletionSignal done;
    done.Signal();
    WaitWithMessages(done);
    WaitWithMessages(done);  // the first wait left nothing behind that refers to its loop
    EXPECT_TRUE(done.IsSignalled());
}

TEST(WaitWithMessages, KeepsWaitingWhenTheApplicationIsToldToQuit) {
    engine::CompletionSignal done;
    std::promise<void> quitRequested;
    bool handOverAfterQuitRan = false;
    bool returnedSignalled = false;
    std::thread worker([&] {
        quitRequested.get_future().wait();
        RunOnGuiThread([&] { handOverAfterQuitRan = true; });
        done.Signal();
    });
    // Inside the application's main loop, as in the program, so that the
    // quit request ends that loop too once the wait is over.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            RequestTerminate();
            QMetaObject::invokeMethod(qApp, [&] { quitRequested.set_value(); }, Qt::QueuedConnection);
        });
        WaitWithMessages(done);
        returnedSignalled = done.IsSignalled();
    });
    QCoreApplication::exec();
    worker.join();
    EXPECT_TRUE(handOverAfterQuitRan);
    EXPECT_TRUE(returnedSignalled);
}

TEST(DelayWithMessages, DispatchesPendingEventsEvenForNoDelay) {
    for (int milliseconds : {0, -5, 3}) {
        SCOPED_TRACE(milliseconds);
        int handled = 0;
        QMetaObject::invokeMethod(qApp, [&] { ++handled; }, Qt::QueuedConnection);
        DelayWithMessages(milliseconds);
        EXPECT_EQ(handled, 1);
    }
}

}  // namespace
}  // namespace velmora::framework

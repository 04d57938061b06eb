// The application object itself, in a test binary of its own: only one
// QApplication can exist, and here it is ours.
#include "framework/velmora_application.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <stdexcept>

#include "recording_presenter.h"

namespace velmora::framework {
namespace {

// A receiver whose event handler lets an error escape, as a careless
// handler would.
class ThrowingReceiver : public QObject {
public:
    int handled = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        ++handled;
        throw std::runtime_error("The document vanished");
    }
};

TEST(ApplicationObject, AnErrorEscapingAHandlerIsShownAndTheProgramGoesOn) {
    testing::RecordingPresenter presenter;
    ThrowingReceiver receiver;
    QEvent first(QEvent::User), second(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &first);
    QCoreApplication::sendEvent(&receiver, &second);
    EXPECT_EQ(receiver.handled, 2);
    // The box comes after the failed event, not inside it.
    EXPECT_TRUE(presenter.Requests().empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(presenter.Requests().size(), 2u);
    EXPECT_EQ(presenter.Requests()[0].caption, "Velmora");
    EXPECT_EQ(presenter.Requests()[0].text, "The document vanished.");
}

TEST(ApplicationObject, RunReturnsWhenTheMainWindowCloses) {
    QWidget window;
    int ticks = 0;
    QTimer::singleShot(0, &window, [&] {
        ++ticks;
        window.close();
    });
    auto* application = static_cast<TApplication*>(QCoreApplication::instance());
    EXPECT_EQ(application->Run(window), 0);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace velmora::framework

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    velmora::framework::TApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

#pragma once

#include <QObject>
#include <QWidget>

namespace velmora::app {

// While a cleaning run goes on, the window's input is dropped where it
// arrives: never held back and replayed when the run ends, so that a second
// click on the button that started the run cannot land on the completion
// page. The boxes the run shows (the stop question, the error box) are
// windows of their own and take input as usual. Between documents the run
// lets every event through, so the window repaints and the desktop's
// requests reach it.
class RunInputBlock : public QObject {
public:
    explicit RunInputBlock(QWidget* window);
    ~RunInputBlock() override;
    RunInputBlock(const RunInputBlock&) = delete;
    RunInputBlock& operator=(const RunInputBlock&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
};

}  // namespace velmora::app

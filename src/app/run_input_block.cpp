#include "app/run_input_block.h"

#include <QCoreApplication>
#include <QEvent>

namespace velmora::app {

namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

}  // namespace

RunInputBlock::RunInputBlock(QWidget* window) : window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

RunInputBlock::~RunInputBlock() { QCoreApplication::instance()->removeEventFilter(this); }

bool RunInputBlock::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type()) || !watched->isWidgetType()) return false;
    return static_cast<QWidget*>(watched)->window() == window_;
}

}  // namespace velmora::app

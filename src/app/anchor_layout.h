#pragma once

#include <vector>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace velmora::app {

// Which sides of its parent a control keeps its distance to.
enum Anchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
inline constexpr unsigned akLeftTop = akLeft | akTop;
inline constexpr unsigned akAll = akLeft | akTop | akRight | akBottom;

// Places a container's controls at their designed rectangles and keeps them
// anchored as the container resizes: anchored on both sides of an axis, a
// control stretches; on one side, it keeps that distance; on neither, its
// centre keeps its proportion of the container. The designed size is the
// container's size the rectangles were drawn in.
class AnchorLayout : public QObject {
public:
    AnchorLayout(QWidget* container, QSize designedSize);

    // Puts `control` into the container at `designed` and remembers how to
    // move it. Returns the control, for chaining at creation.
    template <class Control>
    Control* place(Control* control, QRect designed, unsigned anchors = akLeftTop) {
        add(control, designed, anchors);
        return control;
    }

    // Where a control anchored so goes in a container of `size`.
    static QRect Arrange(QRect designed, unsigned anchors, QSize designedSize, QSize size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placement {
        QPointer<QWidget> control;
        QRect designed;
        unsigned anchors;
    };
    void add(QWidget* control, QRect designed, unsigned anchors);
    void arrangeAll();

    QWidget* container_;
    QSize designedSize_;
    std::vector<Placement> placements_;
};

}  // namespace velmora::app

#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QSize>

class QPainter;

namespace velmora::tw {

// A list of same-sized pictures that markup names by index ("<img
// src=idx:2>"). Controls do not own it; they watch it through a QPointer, so
// destroying a list that a label still shows is safe.
class TTwImageList : public QObject {
    Q_OBJECT
public:
    TTwImageList(int width, int height, QObject* parent = nullptr);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(pictures_.size()); }

    // Appends `picture`, scaled to the list's size when it differs; returns
    // its index.
    int Add(const QPixmap& picture);

    // Draws picture `index` with its top-left corner at (x, y); nothing for
    // an index outside the list.
    void Draw(QPainter& painter, int x, int y, int index) const;

private:
    int width_;
    int height_;
    QList<QPixmap> pictures_;
};

}  // namespace velmora::tw

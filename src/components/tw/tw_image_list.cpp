#include "components/tw/tw_image_list.h"

#include <QPainter>

namespace velmora::tw {

TTwImageList::TTwImageList(int width, int height, QObject* parent) : QObject(parent), width_(width), height_(height) {}

int TTwImageList::Add(const QPixmap& picture) {
    const QSize size(width_, height_);
    pictures_.append(picture.size() == size ? picture : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Count() - 1;
}

void TTwImageList::Draw(QPainter& painter, int x, int y, int index) const {
    if (index < 0 || index >= Count()) return;
    painter.drawPixmap(x, y, pictures_[index]);
}

}  // namespace velmora::tw

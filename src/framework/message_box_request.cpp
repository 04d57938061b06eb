#include "framework/message_box_request.h"

namespace velmora::framework {

namespace {

QString& StoredTitle() {
    static QString title = QStringLiteral("Velmora");
    return title;
}

}  // namespace

void SetMessageBoxTitle(const QString& title) { StoredTitle() = title; }

QString MessageBoxTitle() { return StoredTitle(); }

}  // namespace velmora::framework

#include "update/web_update_settings.h"

namespace velmora::update {

void TTwProductInfo::SetURL(const QString& value) {
    const bool hasScheme = value.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                           value.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    url_ = hasScheme ? value : QStringLiteral("http://") + value;
}

}  // namespace velmora::update

#include "update/download_progress_text.h"

#include <algorithm>
#include <cmath>

#include "framework/desktop_helpers.h"

namespace velmora::update {

QString RemainingTimeText(int64_t seconds) {
    if (seconds < 60) return QString::number(seconds) + QStringLiteral(" sec");
    return QString::number(seconds / 60) + QStringLiteral(" min ") + QString::number(seconds % 60) + QStringLiteral(" sec");
}

DownloadProgressText MakeDownloadProgressText(int32_t total, int32_t downloaded, double kbps, double secondsRemaining) {
    DownloadProgressText text;
    // 100 / (total / downloaded), whole: a reply without a length has no
    // total yet, and nothing received means 0%.
    int64_t percent = 0;
    if (total > 0 && downloaded > 0) percent = static_cast<int64_t>(std::trunc(100.0 / (double(total) / double(downloaded))));
    // A server may send more than it announced; the bar never reads past full.
    percent = std::min<int64_t>(percent, 100);
    text.percent = QString::number(percent) + u'%';
    const double seconds = std::isfinite(secondsRemaining) ? std::max(0.0, secondsRemaining) : 0.0;
    text.sizes = RemainingTimeText(std::llround(seconds)) + QStringLiteral(" (") + framework::SizeToText(downloaded) +
                 QStringLiteral(" of ") + framework::SizeToText(total) + QStringLiteral(" downloaded)");
    text.rate = QString::number(std::isfinite(kbps) ? std::llround(kbps) : 0) + QStringLiteral(" KB/s");
    return text;
}

}  // namespace velmora::update

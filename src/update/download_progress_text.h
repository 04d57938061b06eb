#pragma once

#include <cstdint>

#include <QString>

namespace velmora::update {

// The texts a download's progress shows, from the component's figures.
struct DownloadProgressText {
    QString percent;   // "25%"; "0%" while the total is unknown (0)
    QString sizes;     // "15 sec (512.00 KB of 2.00 MB downloaded)"
    QString rate;      // "100 KB/s"
};
DownloadProgressText MakeDownloadProgressText(int32_t total, int32_t downloaded, double kbps, double secondsRemaining);

// "42 sec" below a minute, else "2 min 5 sec"; from whole seconds.
QString RemainingTimeText(int64_t seconds);

}  // namespace velmora::update

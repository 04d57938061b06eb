#pragma once

#include <QString>

namespace velmora::update {

// The folder updates are saved in: $XDG_CACHE_HOME/velmora/updates
// ($HOME/.cache when XDG_CACHE_HOME is unset or relative), created mode
// 0700 and checked to be a real folder of ours that nobody else may enter:
// unlike /tmp, no other local user can plant a file there. Ends with '/'.
// Empty, with `error` set, when it cannot be had.
QString UpdateCacheFolder(QString& error);

// A file name the server may choose: no path separator, no leading '.' (so
// neither "." nor ".." nor a hidden settings file) or '-', no NUL or control
// character, not empty.
bool IsPlainFileName(const QString& name);

// A download on its way to `finalPath`: written to "<finalPath>.part",
// created exclusively without following links (a stale ".part" of ours is
// removed first; anything else there makes Create fail), and renamed to the
// final name only by Finish. Until then the destructor removes it.
class PartFile {
public:
    explicit PartFile(QString finalPath);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool Create();
    bool Write(const char* data, size_t size);
    // Makes the file executable for its owner (on the open descriptor),
    // syncs it and gives it its final name, replacing a file there.
    bool Finish();
    bool IsOpen() const { return descriptor_ >= 0; }

private:
    QString finalPath_;
    QByteArray partPath_;
    int descriptor_ = -1;
    bool finished_ = false;
};

}  // namespace velmora::update

#pragma once

#include <QString>

namespace velmora::update {

// The folder updates are saved in: $XDG_CACHE_HOME/velmora/updates
// ($HOME/.cache when XDG_CACHE_HOME is unset or relative), created mode
// 0700 and checked to be a real folder of ours that nobody else may enter:
// unlike /tmp, no other local user can plant a file there. Ends with '/'.
// Empty, with `error` set, when it cannot be had.
QString UpdateCacheFolder(QString& error);

// C0 and C1 controls, and the characters that reorder or hide text (bidi
// marks, overrides and isolates, zero-width characters).
bool IsDisguisingCharacter(QChar c);

// A file name the server or a manifest may choose: no path separator, no
// leading '.' (so neither "." nor ".." nor a hidden settings file) or '-',
// no control character (C0 or C1), no character that reorders or hides text
// (bidi marks, overrides and isolates, zero-width characters), not empty, at
// most 250 bytes in UTF-8 (room for ".part").
bool IsPlainFileName(const QString& name);

// A download on its way to `finalPath`: written to "<finalPath>.part" (mode
// 0600, created exclusively without following links; a stale ".part" of
// ours is removed first, anything else there makes Create fail). Seal ends
// the writing; the part can then be checked by path and is renamed to the
// final name only by Rename. Until then the destructor removes it.
class PartFile {
public:
    explicit PartFile(QString finalPath);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool Create();
    bool Write(const char* data, size_t size);
    // Syncs and closes the writer.
    bool Seal();
    // Gives a sealed part its final name, replacing a file there.
    bool Rename();
    const QByteArray& PartPath() const { return partPath_; }

private:
    QString finalPath_;
    QByteArray partPath_;
    int descriptor_ = -1;
    bool created_ = false;
    bool renamed_ = false;
};

}  // namespace velmora::update

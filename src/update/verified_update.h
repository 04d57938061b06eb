#pragma once

#include <memory>

#include <QByteArray>
#include <QString>

#include "update/release_manifest.h"

namespace velmora::update {

// A downloaded update checked against its manifest through one read-only
// descriptor that stays open until this object goes: what is started later
// is what was checked, whatever happens to the name on disk meanwhile.
class VerifiedUpdate {
public:
    enum class Kind { Program, Script };

    ~VerifiedUpdate();
    VerifiedUpdate(const VerifiedUpdate&) = delete;
    VerifiedUpdate& operator=(const VerifiedUpdate&) = delete;

    // Opens `path` read-only without following a link, and checks that it is
    // a regular file of this user with the manifest's size and SHA-256,
    // read through that descriptor, and that it is an ELF program or a "#!"
    // script; then makes it executable for its owner through the same
    // descriptor. Null, with `reason` in plain words, when any check fails.
    static std::unique_ptr<VerifiedUpdate> Open(const QByteArray& path, const ReleaseManifest& manifest,
                                                QString& reason);

    int Descriptor() const { return descriptor_; }
    Kind kind() const { return kind_; }

private:
    VerifiedUpdate(int descriptor, Kind kind) : descriptor_(descriptor), kind_(kind) {}
    int descriptor_;
    Kind kind_;
};

}  // namespace velmora::update

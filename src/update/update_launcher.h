#pragma once

#include <functional>

#include <QByteArray>
#include <QString>

#include "framework/scoped_replacement.h"

namespace velmora::update {

// Whether `signature` (a detached Ed25519 signature, 64 bytes) was made over
// the bytes of `file` with the private half of `publicKey` (DER
// SubjectPublicKeyInfo, as "openssl pkey -pubout -outform DER" writes it).
bool VerifyUpdateSignature(const QString& file, const QByteArray& signature, const QByteArray& publicKey,
                           QString& reason);

// The key updates must be signed with: built into the program (the CMake
// cache variable VELMORA_UPDATE_PUBLIC_KEY, base64 of the DER key); empty
// when the build has none. Replaceable for tests.
QByteArray UpdatePublicKey();
QByteArray SetUpdatePublicKey(QByteArray key);

// Starts a downloaded update, but only when "<file>.sig" beside it verifies
// against UpdatePublicKey(): an ELF program or a "#!" script is made
// executable for its owner and started without a shell, with `parameters`
// split as a shell would split them; anything else is opened with the
// desktop's default handler. False, with `reason`, when it was not started.
bool StartUpdateFile(const QString& file, const QString& parameters, QString& reason);
using UpdateLauncher = std::function<bool(const QString& file, const QString& parameters, QString& reason)>;
// Replaces what StartUpdateFile does (tests); empty restores it.
UpdateLauncher SetUpdateLauncher(UpdateLauncher launcher);
using ScopedUpdateLauncher = framework::ScopedReplacement<UpdateLauncher, &SetUpdateLauncher>;

}  // namespace velmora::update

#pragma once

#include <QByteArray>
#include <QString>

namespace velmora::update {

// Whether `signature` (a detached Ed25519 signature, 64 bytes) was made over
// `message` with the private half of `publicKey` (DER SubjectPublicKeyInfo,
// as "openssl pkey -pubout -outform DER" writes it).
bool VerifyDetachedSignature(const QByteArray& message, const QByteArray& signature, const QByteArray& publicKey,
                             QString& reason);

// The key release manifests must be signed with: built into the program (the
// CMake cache variable VELMORA_UPDATE_PUBLIC_KEY, base64 of the DER key);
// empty when the build has none, and then nothing downloaded is ever started.
// Replaceable for tests.
QByteArray UpdatePublicKey();
QByteArray SetUpdatePublicKey(QByteArray key);

// The SHA-256 of everything `descriptor` reads from its start, read in
// pieces (the memory used does not grow with the file); its length in
// `size`. Empty when reading fails.
QByteArray Sha256OfDescriptor(int descriptor, int64_t& size);

}  // namespace velmora::update

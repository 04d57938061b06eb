#include "update/update_signature.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#ifndef VELMORA_UPDATE_PUBLIC_KEY
#define VELMORA_UPDATE_PUBLIC_KEY ""
#endif

namespace velmora::update {

namespace {

QByteArray& CurrentKey() {
    static QByteArray key = QByteArray::fromBase64(QByteArrayLiteral(VELMORA_UPDATE_PUBLIC_KEY));
    return key;
}

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

bool VerifyDetachedSignature(const QByteArray& message, const QByteArray& signature, const QByteArray& publicKey,
                             QString& reason) {
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(publicKey.constData());
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(d2i_PUBKEY(nullptr, &keyBytes, publicKey.size()));
    if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) {
        reason = QStringLiteral("The program's update key is not an Ed25519 key.");
        return false;
    }
    // Ed25519 signs the message whole, not a digest of it.
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    const bool valid = context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
                       EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                                        static_cast<size_t>(signature.size()),
                                        reinterpret_cast<const unsigned char*>(message.constData()),
                                        static_cast<size_t>(message.size())) == 1;
    if (!valid) reason = QStringLiteral("The signature of the update's signed description does not match.");
    return valid;
}

QByteArray UpdatePublicKey() { return CurrentKey(); }

QByteArray SetUpdatePublicKey(QByteArray key) { return std::exchange(CurrentKey(), std::move(key)); }

QByteArray Sha256OfDescriptor(int descriptor, int64_t& size) {
    size = 0;
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
    std::vector<char> buffer(64 * 1024);
    off_t offset = 0;
    while (true) {
        const ssize_t got = ::pread(descriptor, buffer.data(), buffer.size(), offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return {};
        }
        if (got == 0) break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got)) != 1) return {};
        offset += got;
    }
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length) != 1) return {};
    digest.resize(static_cast<qsizetype>(length));
    size = offset;
    return digest;
}

}  // namespace velmora::update

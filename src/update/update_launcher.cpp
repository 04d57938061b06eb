#include "update/update_launcher.h"

#include <sys/stat.h>

#include <memory>
#include <utility>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <QFile>
#include <QProcess>

#include "framework/shell_open.h"

#ifndef VELMORA_UPDATE_PUBLIC_KEY
#define VELMORA_UPDATE_PUBLIC_KEY ""
#endif

namespace velmora::update {

namespace {

UpdateLauncher& CurrentLauncher() {
    static UpdateLauncher launcher;
    return launcher;
}

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

bool StartVerified(const QString& file, const QString& parameters, QString& reason) {
    QFile signatureFile(file + QStringLiteral(".sig"));
    if (UpdatePublicKey().isEmpty()) {
        reason = QStringLiteral("This build has no key to check updates with");
        return false;
    }
    if (!signatureFile.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("The update carries no signature");
        return false;
    }
    if (!VerifyUpdateSignature(file, signatureFile.read(1024), UpdatePublicKey(), reason)) return false;

    QFile program(file);
    if (!program.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("The update cannot be read");
        return false;
    }
    const QByteArray head = program.read(4);
    program.close();
    if (head == QByteArray("\x7F" "ELF", 4) || head.startsWith("#!")) {
        struct stat status {};
        const QByteArray path = QFile::encodeName(file);
        if (::stat(path.constData(), &status) != 0 || ::chmod(path.constData(), (status.st_mode & 07777) | S_IXUSR) != 0) {
            reason = QStringLiteral("The update cannot be made executable");
            return false;
        }
        if (!QProcess::startDetached(file, QProcess::splitCommand(parameters))) {
            reason = QStringLiteral("The update could not be started");
            return false;
        }
        return true;
    }
    if (!framework::ShellOpen(file)) {
        reason = QStringLiteral("No program opens the update");
        return false;
    }
    return true;
}

}  // namespace

bool VerifyUpdateSignature(const QString& file, const QByteArray& signature, const QByteArray& publicKey,
                           QString& reason) {
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(publicKey.constData());
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(d2i_PUBKEY(nullptr, &keyBytes, publicKey.size()));
    if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) {
        reason = QStringLiteral("The update key is not an Ed25519 key");
        return false;
    }
    QFile content(file);
    if (!content.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("The update cannot be read");
        return false;
    }
    const QByteArray bytes = content.readAll();  // Ed25519 signs the message whole, not a digest
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context(EVP_MD_CTX_new());
    const bool valid = context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
                       EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                                        signature.size(), reinterpret_cast<const unsigned char*>(bytes.constData()),
                                        bytes.size()) == 1;
    if (!valid) reason = QStringLiteral("The update's signature does not match");
    return valid;
}

QByteArray UpdatePublicKey() { return CurrentKey(); }

QByteArray SetUpdatePublicKey(QByteArray key) { return std::exchange(CurrentKey(), std::move(key)); }

bool StartUpdateFile(const QString& file, const QString& parameters, QString& reason) {
    if (const UpdateLauncher& launcher = CurrentLauncher()) return launcher(file, parameters, reason);
    return StartVerified(file, parameters, reason);
}

UpdateLauncher SetUpdateLauncher(UpdateLauncher launcher) {
    return std::exchange(CurrentLauncher(), std::move(launcher));
}

}  // namespace velmora::update

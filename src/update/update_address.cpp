#include "update/update_address.h"

#include <QUrl>

namespace velmora::update {

UpdateAddress ParseUpdateAddress(const QString& address) {
    UpdateAddress parts;
    QString rest = address;
    for (const char* scheme : {"https", "http"}) {
        const QString prefix = QString::fromLatin1(scheme) + QStringLiteral("://");
        if (rest.startsWith(prefix, Qt::CaseInsensitive)) {
            parts.scheme = QString::fromLatin1(scheme);
            rest = rest.mid(prefix.size());
            break;
        }
    }
    // The host ends at the path, the query or the fragment.
    qsizetype slash = rest.indexOf(u'/');
    for (QChar mark : {QChar(u'?'), QChar(u'#')}) {
        const qsizetype at = rest.indexOf(mark);
        if (at >= 0 && (slash < 0 || at < slash)) slash = at;
    }
    if (slash < 0 && parts.scheme.isEmpty()) {
        parts.path = u'/' + rest;  // a bare file name: the host comes from elsewhere
        return parts;
    }
    QString host = slash < 0 ? rest : rest.left(slash);
    parts.path = slash < 0 ? QStringLiteral("/") : rest.mid(slash);
    if (!parts.path.startsWith(u'/')) parts.path.prepend(u'/');
    // A port after the last colon; an IPv6 literal keeps its brackets.
    const qsizetype colon = host.lastIndexOf(u':');
    if (colon >= 0 && colon > host.lastIndexOf(u']')) {
        bool ok = false;
        const int port = host.mid(colon + 1).toInt(&ok);
        if (ok && port > 0 && port < 65536) parts.port = port;
        else parts.port = 0;  // written but unusable
        host.truncate(colon);
    }
    parts.host = host;
    return parts;
}

QString ResolveUpdateAddress(const QString& address, const QString& base, uint32_t httpPort) {
    UpdateAddress parts = ParseUpdateAddress(address);
    if (parts.scheme.isEmpty() || parts.host.isEmpty()) {
        const UpdateAddress from = ParseUpdateAddress(base);
        if (from.scheme.isEmpty() || from.host.isEmpty()) return {};
        if (parts.host.isEmpty()) {
            parts.host = from.host;
            parts.port = from.port;
        }
        parts.scheme = from.scheme;
    }
    if (parts.port == 0) return {};
    int port = parts.port;
    if (port < 0) port = parts.scheme == QLatin1String("https") ? 443 : static_cast<int>(httpPort & 0xFFFF);
    return parts.scheme + QStringLiteral("://") + parts.host + u':' + QString::number(port) + parts.path;
}

bool IsWebAddress(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

bool NamesInvalidHost(const QString& address) {
    QString host = ParseUpdateAddress(address).host.toLower();
    if (host.endsWith(u'.')) host.chop(1);
    return host == QLatin1String("invalid") || host.endsWith(QLatin1String(".invalid"));
}

}  // namespace velmora::update

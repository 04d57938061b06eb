#pragma once

#include <QString>

namespace velmora::update {

// An address cut into the parts a transfer needs. The scheme is recognised
// only at the very start ("http://" or "https://", any letter case); a port
// written after the host is taken apart from it.
struct UpdateAddress {
    QString scheme;  // "http", "https", or empty when the address names none
    QString host;    // empty when the address has no host part
    int port = -1;   // the port written in the address; -1 when none
    QString path;    // from the first '/' on; always starts with '/'
};
UpdateAddress ParseUpdateAddress(const QString& address);

// The address a transfer asks for: `address`, with what it lacks taken from
// `base` (an address without a scheme takes the scheme, host and port of
// the base). An http address without a port gets `httpPort`; https uses the
// written port or 443. Empty when no usable address results.
QString ResolveUpdateAddress(const QString& address, const QString& base, uint32_t httpPort);

// An http or https address with a host: the only kind the program opens in
// the user's browser.
bool IsWebAddress(const QString& text);

// The host of `address` is in the ".invalid" domain, which never resolves:
// such a request fails at once, without asking the name service.
bool NamesInvalidHost(const QString& address);

}  // namespace velmora::update

#pragma once

#include <cstdint>
#include <functional>

#include <QString>

namespace velmora::update {

// How long a transfer may take before it counts as failed.
struct TransferLimits {
    int connectMs = 15'000;   // to set up the connection
    int stallMs = 30'000;     // without a byte arriving
    int totalMs = 0;          // for the whole transfer; 0 for no limit
    int maxRedirects = 8;
    // At least this many bytes a second on average over any `rateWindowMs`
    // (counted from the start, connection included); 0 for no such floor.
    int minBytesPerSecond = 0;
    int rateWindowMs = 60'000;
};

// One HTTP(S) GET through libcurl's multi interface, driven from the calling
// (GUI) thread: between polls it runs `pump` (pending messages), so a
// Cancel button can ask to abort, and it hands what arrived over in pieces of
// at most 1025 bytes.
class HttpTransfer {
public:
    struct Request {
        QString url;  // complete, with scheme and port
        QString userName, password;
        QString agent;
        bool httpsOnly = false;  // refuse plain http, also for redirections
        QString caFile;          // a CA bundle for this transfer alone (tests); empty: the system's
        TransferLimits limits;
    };
    struct Hooks {
        std::function<bool()> aborted;
        std::function<void()> pump;
        // The final response's headers have ended: its status and, when sent,
        // its length. False ends the transfer as failed.
        std::function<bool(long status, bool hasLength, int64_t length)> headersEnded;
        // One piece of the body; false ends the transfer as failed.
        std::function<bool(const char* data, size_t size)> piece;
    };
    // Why a transfer failed, as far as the transfer itself can tell.
    enum class Failure {
        None,
        Connect,      // no connection to the server (name, refusal, network)
        Certificate,  // the server's certificate or TLS handshake was refused
        Unencrypted,  // an http address where only https is allowed
        Timeout,      // no answer, or no end, within a time limit
        TooSlow,      // below the minimum average rate
        Redirections, // too many 3xx redirections
        Other,
    };
    struct Result {
        bool completed = false;  // libcurl finished without an error
        bool aborted = false;
        bool refused = false;    // a hook said no
        long status = 0;
        bool hasLength = false;
        int64_t length = 0;
        uint64_t bytes = 0;
        Failure failure = Failure::None;
        QString error;
    };

    static Result Run(const Request& request, const Hooks& hooks);

    // libcurl resolves names without blocking the calling thread.
    static bool ResolverIsAsynchronous();

    static constexpr size_t kPieceSize = 1025;
};

// The longest body a transfer accepts (the length is kept in 32 bits).
inline constexpr int64_t kLargestBodyLength = 0x7FFFFFFF;
// Text replies (information and what's-new pages) end here.
inline constexpr int64_t kTextReplyCap = 1 << 20;

}  // namespace velmora::update

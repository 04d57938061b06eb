#include "update/http_transfer.h"

#include "update/rate_floor.h"

#include <curl/curl.h>
#include <strings.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace velmora::update {

namespace {

using Clock = std::chrono::steady_clock;

void GlobalInit() {
    static const bool initialised = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)initialised;
}

struct State {
    const HttpTransfer::Hooks* hooks = nullptr;
    CURL* easy = nullptr;
    std::string arrived;  // the write callback only copies
    bool headersSeen = false;
    bool location = false;  // the current response names a Location
    bool refused = false;
    HttpTransfer::Result result;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<State*>(user);
    const size_t length = size * count;
    const bool blankLine = (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
    if (!blankLine) {
        // Each response's headers begin with its status line.
        const std::string_view line(data, length);
        if (line.starts_with("HTTP/")) state->location = false;
        if (line.size() > 9 && strncasecmp(line.data(), "location:", 9) == 0) state->location = true;
        return length;
    }
    long status = 0;
    curl_easy_getinfo(state->easy, CURLINFO_RESPONSE_CODE, &status);
    // Informational and followed redirections are not the final response;
    // a 3xx without a Location is, and is not a success.
    if (status < 200 || (status >= 300 && status < 400 && state->location)) return length;
    curl_off_t contentLength = -1;
    curl_easy_getinfo(state->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &contentLength);
    state->headersSeen = true;
    state->result.status = status;
    state->result.hasLength = contentLength >= 0;
    state->result.length = contentLength >= 0 ? contentLength : 0;
    if (state->hooks->headersEnded && !state->hooks->headersEnded(status, contentLength >= 0, contentLength)) {
        state->refused = true;
        return 0;
    }
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<State*>(user);
    if (state->refused) return 0;
    state->arrived.append(data, size * count);
    return size * count;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

HttpTransfer::Failure Classify(CURLcode code, bool httpsOnly) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return HttpTransfer::Failure::Connect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return HttpTransfer::Failure::Certificate;
    case CURLE_UNSUPPORTED_PROTOCOL:
        // Only http and https are ever allowed; with https alone, an http
        // address is what was refused.
        return httpsOnly ? HttpTransfer::Failure::Unencrypted : HttpTransfer::Failure::Other;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpTransfer::Failure::Timeout;
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpTransfer::Failure::Redirections;
    default:
        return HttpTransfer::Failure::Other;
    }
}

}  // namespace

bool HttpTransfer::ResolverIsAsynchronous() {
    GlobalInit();
    return (curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_ASYNCHDNS) != 0;
}

HttpTransfer::Result HttpTransfer::Run(const Request& request, const Hooks& hooks) {
    GlobalInit();
    State state;
    state.hooks = &hooks;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) {
        state.result.error = QStringLiteral("The transfer could not be set up");
        return state.result;
    }
    state.easy = easy.get();
    CURL* e = easy.get();
    const std::string url = request.url.toStdString();
    const std::string agent = request.agent.toStdString();
    const std::string user = request.userName.toStdString();
    const std::string password = request.password.toStdString();
    const std::string caFile = request.caFile.toStdString();
    const char* protocols = request.httpsOnly ? "https" : "http,https";
    std::unique_ptr<curl_slist, ListDeleter> headers(curl_slist_append(nullptr, "Pragma: no-cache"));
    headers.reset(curl_slist_append(headers.release(), "Cache-Control: no-cache"));

    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
#if LIBCURL_VERSION_NUM >= 0x075700
    // An abort during a name lookup must not wait for the lookup to end.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(e, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(request.limits.maxRedirects));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.limits.connectMs));
    if (request.limits.totalMs > 0) curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.totalMs));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, caFile.c_str());
    if (!user.empty() || !password.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    }
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &state);
    curl_multi_add_handle(multi.get(), e);

    auto lastByte = Clock::now();
    RateFloor floor(request.limits.minBytesPerSecond, request.limits.rateWindowMs);
    floor.Holds(lastByte, 0);
    int running = 1;
    CURLcode finalCode = CURLE_OK;
    bool finished = false;
    while (true) {
        if (hooks.aborted && hooks.aborted()) {
            state.result.aborted = true;
            break;
        }
        if (hooks.pump) hooks.pump();
        // A handler the pump ran may have ended what the hooks serve.
        if (hooks.aborted && hooks.aborted()) {
            state.result.aborted = true;
            break;
        }
        curl_multi_perform(multi.get(), &running);
        // Hand over what arrived, a piece at a time.
        size_t offset = 0;
        while (offset < state.arrived.size() && !state.refused) {
            const size_t piece = std::min(kPieceSize, state.arrived.size() - offset);
            state.result.bytes += piece;
            if (hooks.piece && !hooks.piece(state.arrived.data() + offset, piece)) state.refused = true;
            offset += piece;
            lastByte = Clock::now();
            if (hooks.pump) hooks.pump();
            if (hooks.aborted && hooks.aborted()) {
                state.result.aborted = true;
                break;
            }
        }
        state.arrived.erase(0, offset);
        if (state.result.aborted || state.refused) break;
        int messages = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &messages)) {
            if (message->msg == CURLMSG_DONE) {
                finalCode = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) break;
        if (Clock::now() - lastByte > std::chrono::milliseconds(request.limits.stallMs)) {
            state.result.error = QStringLiteral("The server stopped sending");
            state.result.failure = Failure::Timeout;
            break;
        }
        if (!floor.Holds(Clock::now(), state.result.bytes)) {
            state.result.error = QStringLiteral("The server sent too slowly");
            state.result.failure = Failure::TooSlow;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, 20, nullptr);
    }
    curl_multi_remove_handle(multi.get(), e);
    state.result.refused = state.refused;
    if (finished && finalCode == CURLE_OK && !state.refused && !state.result.aborted) {
        state.result.completed = true;
        if (!state.headersSeen) {
            // A reply without a body to write still has a final status.
            long status = 0;
            curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
            state.result.status = status;
        }
    } else if (finished && finalCode != CURLE_OK && state.result.error.isEmpty()) {
        state.result.error = QString::fromUtf8(curl_easy_strerror(finalCode));
        state.result.failure = Classify(finalCode, request.httpsOnly);
    }
    return state.result;
}

}  // namespace velmora::update

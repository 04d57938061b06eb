#include "update/page_fetch.h"

#include <QByteArray>

#include "update/update_reply.h"

namespace velmora::update {

PageFetch::PageFetch(HttpTransfer::Request request, QObject* context, Done done) {
    thread_ = std::thread([shared = shared_, request = std::move(request), context,
                           done = std::move(done)] {
        QByteArray body;
        HttpTransfer::Hooks hooks;
        hooks.aborted = [&] { return shared->aborted.load(); };
        hooks.headersEnded = [](long status, bool hasLength, int64_t length) {
            return status >= 200 && status <= 299 && !(hasLength && length > kTextReplyCap);
        };
        hooks.piece = [&](const char* data, size_t size) {
            body.append(data, static_cast<qsizetype>(size));
            return body.size() <= kTextReplyCap;
        };
        const HttpTransfer::Result result = HttpTransfer::Run(request, hooks);
        if (shared->aborted) return;
        const bool ok = result.completed && !result.aborted && !result.refused && result.status >= 200 &&
                        result.status <= 299 && (!result.hasLength || static_cast<int64_t>(result.bytes) == result.length);
        const QString text = ok ? DecodeReplyText(body) : QString();
        // Read again on the receiving thread: the fetch may have been
        // destroyed while the result was on its way.
        QMetaObject::invokeMethod(
            context,
            [shared, done, ok, text] {
                if (!shared->aborted) done(ok, text);
            },
            Qt::QueuedConnection);
    });
}

PageFetch::~PageFetch() {
    shared_->aborted = true;
    if (thread_.joinable()) thread_.join();
}

}  // namespace velmora::update

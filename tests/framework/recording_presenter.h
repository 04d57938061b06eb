#pragma once

#include <vector>

#include "framework/orrin_dialogs.h"

namespace velmora::framework::testing {

// Stands in for the message box dialog: keeps every request and answers
// with `answer`, so no test ever blocks on a modal box.
class RecordingPresenter {
public:
    explicit RecordingPresenter(int answer = 0) : answer_(answer) {}

    const std::vector<MessageBoxRequest>& Requests() const { return requests_; }

private:
    int answer_;
    std::vector<MessageBoxRequest> requests_;
    ScopedMessageBoxPresenter replacement_{[this](const MessageBoxRequest& request) {
        requests_.push_back(request);
        return answer_;
    }};
};

}  // namespace velmora::framework::testing

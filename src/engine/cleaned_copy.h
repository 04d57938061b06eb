#pragma once

#include <filesystem>

namespace velmora::engine {

// "report (cleaned).doc" for number 1, "report (cleaned 2).doc" for 2, and so
// on: the name a cleaned copy of `original` takes beside it.
std::filesystem::path CleanedCopyName(const std::filesystem::path& original, int number);

// A cleaned copy of a document, made so that a file bearing a "(cleaned)"
// name always holds a cleaned document. Creation copies the original into a
// hidden temporary file in the same folder (mode 0600, synced); the caller
// cleans TemporaryPath(); Publish() gives the copy the original's permissions
// and moves it to the first free CleanedCopyName(), never replacing a file.
// Until then the destructor deletes the temporary file, whatever happened.
// The original is only read. Failures raise storage::StorageError.
class CleanedCopy {
public:
    explicit CleanedCopy(std::filesystem::path original);
    ~CleanedCopy();
    CleanedCopy(const CleanedCopy&) = delete;
    CleanedCopy& operator=(const CleanedCopy&) = delete;

    const std::filesystem::path& TemporaryPath() const { return temporary_; }
    // Returns where the copy went.
    std::filesystem::path Publish();

private:
    std::filesystem::path original_;
    std::filesystem::path temporary_;
    unsigned mode_ = 0600;
    bool published_ = false;
};

}  // namespace velmora::engine

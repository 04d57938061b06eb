// parallel_benchmark: velmora-cli's analysis on a pool of workers, on a local
// disk and through a byte source that adds a fixed delay to every open and
// every read, as a file share does with each network round trip.
//
//   parallel_benchmark [COUNT [DELAY_US [WORK_FOLDER [MILLION]]]]
//
// COUNT copies of the corpus documents (default 2000) go into a fresh tree
// under WORK_FOLDER (default: the system's temporary folder). DELAY_US is the
// added delay per call (default 500). With MILLION = 1, a further run lists
// one million empty ".doc" files and reports the peak resident memory.

#include <sys/resource.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench_support.h"
#include "cli/analyze_command.h"
#include "cli/command_line.h"
#include "storage/document_source.h"
#include "storage/file_byte_source.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

// Sleeps before every read, as a round trip to a file server would.
class DelayedSource : public storage::ForwardingByteSource {
public:
    DelayedSource(std::unique_ptr<storage::WritableByteSource> inner, std::chrono::microseconds delay)
        : ForwardingByteSource(std::move(inner)), delay_(delay) {}
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override {
        std::this_thread::sleep_for(delay_);
        ForwardingByteSource::readAt(offset, buffer);
    }

private:
    std::chrono::microseconds delay_;
};

// Counts the lines written to it and keeps nothing: the output of a million
// documents must not be what the memory figure measures.
class LineCounter : public std::streambuf {
public:
    size_t lines = 0;

protected:
    int overflow(int c) override {
        if (c == '\n') ++lines;
        return c == EOF ? 0 : c;
    }
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        lines += static_cast<size_t>(std::count(text, text + size, '\n'));
        return size;
    }
};

double Analyse(const fs::path& root, unsigned jobs, size_t& documents) {
    LineCounter counter;
    std::ostream out(&counter);
    std::ostringstream err;
    cli::AnalyzeOptions options = cli::ParseAnalyzeArguments({"--json", "--recursive", root.string()});
    options.jobs = jobs;
    const auto start = Clock::now();
    cli::RunAnalyze(options, out, err);
    const double seconds = SecondsSince(start);
    documents = counter.lines;
    return seconds;
}

long PeakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) try {
    const size_t count = CountArgument(argc, argv, 1, 2000);
    const auto delay = std::chrono::microseconds(CountArgument(argc, argv, 2, 500));
    const fs::path parent = FolderArgument(argc, argv, 3, fs::temp_directory_path());
    const bool million = argc > 4 && std::string(argv[4]) == "1";
    const std::vector<fs::path> corpus = CorpusDocuments(VELMORA_CORPUS_DIR);
    ScratchFolder scratch(parent, "velmora-parallel");
    CopyCorpus(scratch.path(), corpus, count, [](size_t i) { return "g" + std::to_string(i / 40); });
    size_t documents = 0;
    Analyse(scratch.path(), 1, documents);  // warm the page cache

    std::printf("%zu documents, local disk, warm cache:\n", count);
    const double local1 = Analyse(scratch.path(), 1, documents);
    for (unsigned jobs : {1u, 4u, 16u, 32u}) {
        const double seconds = jobs == 1 ? local1 : Analyse(scratch.path(), jobs, documents);
        std::printf("  --jobs %2u: %8.0f documents/s  (%.2fx --jobs 1)\n", jobs, documents / seconds, local1 / seconds);
    }

    std::printf("the same through %" PRId64 " us per open and per read:\n", static_cast<int64_t>(delay.count()));
    storage::ScopedDocumentSourceOpener delayed([delay](const fs::path& path, storage::AccessMode mode) {
        std::this_thread::sleep_for(delay);
        return std::make_unique<DelayedSource>(storage::OpenFileDocument(path, mode), delay);
    });
    double delayed1 = 0;
    for (unsigned jobs : {1u, 4u, 16u, 32u}) {
        const double seconds = Analyse(scratch.path(), jobs, documents);
        if (jobs == 1) delayed1 = seconds;
        std::printf("  --jobs %2u: %8.0f documents/s  (%.2fx --jobs 1)\n", jobs, documents / seconds, delayed1 / seconds);
    }

    if (million) {
        ScratchFolder many(parent, "velmora-million");
        for (size_t folder = 0; folder < 1000; ++folder) {
            const fs::path path = many.path() / ("f" + std::to_string(folder));
            fs::create_directory(path);
            for (size_t i = 0; i < 1000; ++i) std::ofstream(path / (std::to_string(i) + ".doc"));
        }
        const long before = PeakResidentKilobytes();
        const double seconds = Analyse(many.path(), 16, documents);
        std::printf("%zu listed paths (--json, --jobs 16): %.1f s, peak resident %ld MB (%ld MB before)\n", documents,
                    seconds, PeakResidentKilobytes() / 1024, before / 1024);
    }
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "parallel_benchmark: %s\n", error.what());
    return 1;
}

// analyze_benchmark: how fast documents are analysed, and how little of each
// is read, against the floor of opening every file and reading its first
// 8 KiB. Analysis should stay within a small factor of that floor: it reads
// the header, the allocation-table sectors on the way, the directory and the
// property-set streams, never the document body.
//
//   analyze_benchmark [COUNT [WORK_FOLDER [CORPUS_FOLDER]]]
//
// COUNT copies of the corpus documents (default 2000) go into a tree of
// sub-folders in a fresh folder under WORK_FOLDER (default: the system's
// temporary folder), which is removed at the end.

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "engine/summary_reader.h"
#include "storage/byte_source.h"
#include "storage/file_byte_source.h"
#include "storage/storage_error.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

constexpr size_t kBaselineBytes = 8 * 1024;
constexpr size_t kDocumentsPerFolder = 40;
constexpr size_t kFoldersPerGroup = 10;
constexpr int kWarmRounds = 10;
constexpr int kColdRounds = 3;

// Passes reads through and counts them: one readAt is one pread (or a few,
// when the kernel returns short), so this is the number of read calls.
class ReadCallCounter : public storage::ByteSource {
public:
    explicit ReadCallCounter(storage::ByteSource& inner) : inner_(inner) {}
    uint64_t size() const override { return inner_.size(); }
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override {
        ++calls_;
        inner_.readAt(offset, buffer);
        countRead(buffer.size());
    }
    uint64_t calls() const { return calls_; }

private:
    storage::ByteSource& inner_;
    uint64_t calls_ = 0;
};

std::vector<Copy> MakeTree(const fs::path& root, const std::vector<fs::path>& corpus, size_t count) {
    return CopyCorpus(root, corpus, count, [](size_t i) {
        const size_t folder = i / kDocumentsPerFolder;
        char group[32], leaf[32];
        std::snprintf(group, sizeof group, "group%02zu", folder / kFoldersPerGroup);
        std::snprintf(leaf, sizeof leaf, "folder%03zu", folder);
        return fs::path(group) / leaf;
    });
}

// Clean pages are the only ones that can be evicted.
void SyncAll(const std::vector<Copy>& copies) {
    for (const auto& copy : copies) SyncFile(copy.path);
}

// Drops the cached pages of our own copies only (the rest of the machine's
// cache is left alone), so that the next pass reads from the device.
void EvictAll(const std::vector<Copy>& copies) {
    for (const auto& copy : copies) {
        int fd = ::open(copy.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct AnalysisPass {
    double seconds = 0;
    size_t readable = 0;
    size_t refused = 0;
    std::vector<uint64_t> bytesRead;  // per copy
};

AnalysisPass AnalyseAll(const std::vector<Copy>& copies) {
    AnalysisPass pass;
    pass.bytesRead.resize(copies.size(), 0);
    auto start = Clock::now();
    for (size_t i = 0; i < copies.size(); ++i) {
        try {
            auto source = storage::FileByteSource::Open(copies[i].path, storage::AccessMode::Read);
            engine::TSummaryInfo info;
            engine::ReadOutcome outcome = engine::ReadSummaryInfoFrom(*source, info);
            (outcome.ok ? pass.readable : pass.refused)++;
            pass.bytesRead[i] = source->bytesRead();
        } catch (const storage::StorageError&) {
            ++pass.refused;
        }
    }
    pass.seconds = SecondsSince(start);
    return pass;
}

// Only the opening analysis starts with (regular-file check, shared lock),
// to tell its cost from that of reading and parsing.
double OpenOnlyAll(const std::vector<Copy>& copies) {
    auto start = Clock::now();
    for (const auto& copy : copies) {
        try {
            storage::FileByteSource::Open(copy.path, storage::AccessMode::Read);
        } catch (const storage::StorageError&) {
        }
    }
    return SecondsSince(start);
}

struct BaselinePass {
    double seconds = 0;
    uint64_t bytes = 0;
    size_t failures = 0;
};

BaselinePass OpenAndReadAll(const std::vector<Copy>& copies) {
    BaselinePass pass;
    std::vector<uint8_t> buffer(kBaselineBytes);
    auto start = Clock::now();
    for (const auto& copy : copies) {
        int fd = ::open(copy.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            ++pass.failures;
            continue;
        }
        ssize_t got = ::pread(fd, buffer.data(), buffer.size(), 0);
        if (got < 0)
            ++pass.failures;
        else
            pass.bytes += static_cast<uint64_t>(got);
        ::close(fd);
    }
    pass.seconds = SecondsSince(start);
    return pass;
}

void PrintRate(const char* label, const std::vector<double>& seconds, size_t count) {
    double best = Best(seconds), median = Median(seconds);
    std::printf("  %-34s best %8.0f docs/s (%7.3f s)   median %8.0f docs/s (%7.3f s)\n", label,
                static_cast<double>(count) / best, best, static_cast<double>(count) / median, median);
}

int Run(int argc, char** argv) {
    size_t count = CountArgument(argc, argv, 1, 2000);
    fs::path workFolder = FolderArgument(argc, argv, 2, fs::temp_directory_path());
    fs::path corpusFolder = FolderArgument(argc, argv, 3, VELMORA_CORPUS_DIR);

    std::vector<fs::path> corpus = CorpusDocuments(corpusFolder);
    ScratchFolder scratch(workFolder, "velmora-analyze-bench");
    std::printf("analyze_benchmark: %zu copies of %zu corpus documents in %s\n", count, corpus.size(),
                scratch.path().c_str());

    auto makeStart = Clock::now();
    std::vector<Copy> copies = MakeTree(scratch.path(), corpus, count);
    SyncAll(copies);
    uint64_t totalSize = 0;
    for (const auto& copy : copies) totalSize += fs::file_size(copy.path);
    std::printf("tree: %zu documents, %.1f MB, %zu folders, made in %.2f s\n\n", copies.size(),
                static_cast<double>(totalSize) / 1e6, (count + kDocumentsPerFolder - 1) / kDocumentsPerFolder,
                SecondsSince(makeStart));

    // One untimed pass of each fills the page cache and the directory caches.
    AnalysisPass reference = AnalyseAll(copies);
    OpenAndReadAll(copies);

    std::vector<double> analysisWarm, baselineWarm, openWarm, analysisCold, baselineCold;
    for (int round = 0; round < kWarmRounds; ++round) {
        // Alternate the order so that neither phase always follows the other.
        if (round % 2 == 0) {
            baselineWarm.push_back(OpenAndReadAll(copies).seconds);
            analysisWarm.push_back(AnalyseAll(copies).seconds);
        } else {
            analysisWarm.push_back(AnalyseAll(copies).seconds);
            baselineWarm.push_back(OpenAndReadAll(copies).seconds);
        }
        openWarm.push_back(OpenOnlyAll(copies));
    }
    for (int round = 0; round < kColdRounds; ++round) {
        EvictAll(copies);
        baselineCold.push_back(OpenAndReadAll(copies).seconds);
        EvictAll(copies);
        analysisCold.push_back(AnalyseAll(copies).seconds);
    }

    std::printf("analysis = FileByteSource::Open(Read) + ReadSummaryInfoFrom; baseline = open + pread 8 KiB + close\n");
    std::printf("warm page cache, %d rounds:\n", kWarmRounds);
    PrintRate("analysis", analysisWarm, count);
    PrintRate("baseline", baselineWarm, count);
    PrintRate("FileByteSource::Open alone", openWarm, count);
    std::printf("  %-34s best %.2fx   median %.2fx   (target: within 3x)\n", "analysis time / baseline time",
                Best(analysisWarm) / Best(baselineWarm), Median(analysisWarm) / Median(baselineWarm));
    std::printf("our copies' pages evicted before each pass (posix_fadvise DONTNEED), %d rounds:\n", kColdRounds);
    PrintRate("analysis", analysisCold, count);
    PrintRate("baseline", baselineCold, count);
    std::printf("  %-34s best %.2fx   median %.2fx\n\n", "analysis time / baseline time",
                Best(analysisCold) / Best(baselineCold), Median(analysisCold) / Median(baselineCold));

    // Bytes read: the same for every pass, taken from the untimed one.
    uint64_t sum = 0, max = 0;
    size_t maxAt = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        sum += reference.bytesRead[i];
        if (reference.bytesRead[i] > max) max = reference.bytesRead[i], maxAt = i;
    }
    std::printf("documents read: %zu, refused: %zu\n", reference.readable, reference.refused);
    std::printf("bytes read per document: mean %.0f, max %" PRIu64 " (%s); baseline reads up to %zu\n\n",
                static_cast<double>(sum) / static_cast<double>(copies.size()), max,
                corpus[copies[maxAt].corpusIndex].filename().c_str(), kBaselineBytes);

    // Per corpus document, with the number of read calls, largest first.
    struct Row {
        uint64_t size = 0, bytes = 0, calls = 0;
        bool ok = false;
    };
    std::vector<Row> rows(corpus.size());
    std::vector<size_t> order(corpus.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
        rows[i].size = fs::file_size(corpus[i]);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rows[a].size > rows[b].size; });
    for (size_t index : order) {
        Row& row = rows[index];
        try {
            auto source = storage::FileByteSource::Open(corpus[index], storage::AccessMode::Read);
            ReadCallCounter counter(*source);
            engine::TSummaryInfo info;
            row.ok = engine::ReadSummaryInfoFrom(counter, info).ok;
            row.bytes = source->bytesRead();
            row.calls = counter.calls();
        } catch (const storage::StorageError&) {
        }
    }
    std::printf("%-58s %10s %10s %6s %8s\n", "corpus document (largest first)", "size", "bytes read", "reads",
                "of file");
    for (size_t index : order) {
        const Row& row = rows[index];
        std::string name = fs::relative(corpus[index], corpusFolder).string();
        std::printf("%-58s %10" PRIu64 " %10" PRIu64 " %6" PRIu64 " %7.2f%%%s\n", name.c_str(), row.size, row.bytes,
                    row.calls, 100.0 * static_cast<double>(row.bytes) / static_cast<double>(row.size),
                    row.ok ? "" : "  (not read)");
    }
    const Row& largest = rows[order.front()];
    std::printf("\nlargest document: %s, %" PRIu64 " bytes: analysis reads %" PRIu64 " bytes in %" PRIu64
                " read calls\n",
                fs::relative(corpus[order.front()], corpusFolder).c_str(), largest.size, largest.bytes, largest.calls);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::printf("usage: analyze_benchmark [COUNT [WORK_FOLDER [CORPUS_FOLDER]]]\n");
        return 0;
    }
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "analyze_benchmark: %s\n", error.what());
        return 1;
    }
}

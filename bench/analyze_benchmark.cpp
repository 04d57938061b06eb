// analyze_benchmark: how fast documents are analysed, and how little of each
// is read, against the floor of opening every file and reading its first
// 8 KiB and its last 4 KiB. What is timed is what `velmora-cli analyze
// --json` computes per document (the record and the hidden names) and, beside
// it, the window's folder scan (the same plus the hyperlinks flag, the rows
// delivered to the report and shown, offscreen), with `velmora-cli analyze
// --jobs 1` (listing, then each document in turn) on the same tree for
// comparison.
//
//   analyze_benchmark [COUNT [WORK_FOLDER [CORPUS_FOLDER]]]
//
// COUNT copies of the corpus documents (default 2000) go into a tree of
// sub-folders in a fresh folder under WORK_FOLDER (default: the system's
// temporary folder), which is removed at the end.

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QStyleFactory>

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
#include "engine/document_search.h"
#include "engine/document_session.h"
#include "engine/path_text.h"
#include "engine/summary_reader.h"
#include "framework/velmora_application.h"
#include "storage/document_source.h"
#include "storage/file_byte_source.h"
#include "storage/storage_error.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

constexpr size_t kHeadBytes = 8 * 1024, kTailBytes = 4 * 1024;
constexpr size_t kDocumentsPerFolder = 40;
constexpr size_t kFoldersPerGroup = 10;
constexpr int kWarmRounds = 5;
constexpr int kColdRounds = 2;
constexpr int kWindowRounds = 3;

// What the engine opened and read, per document: every opening goes through
// the document source, so this counts the old road and the new alike.
struct Reading {
    uint64_t openings = 0, calls = 0, bytes = 0;
};

class ReadingLog {
public:
    void opened(const fs::path& path) {
        std::lock_guard lock(mutex_);
        ++readings_[path].openings;
    }
    void read(const fs::path& path, uint64_t bytes) {
        std::lock_guard lock(mutex_);
        Reading& reading = readings_[path];
        ++reading.calls;
        reading.bytes += bytes;
    }
    std::map<fs::path, Reading> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(readings_, {});
    }

private:
    std::mutex mutex_;
    std::map<fs::path, Reading> readings_;
};

class LoggedSource : public storage::ForwardingByteSource {
public:
    LoggedSource(std::unique_ptr<storage::WritableByteSource> inner, fs::path path, ReadingLog& log)
        : ForwardingByteSource(std::move(inner)), path_(std::move(path)), log_(log) {}
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override {
        ForwardingByteSource::readAt(offset, buffer);
        log_.read(path_, buffer.size());
    }

private:
    fs::path path_;
    ReadingLog& log_;
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

// What velmora-cli analyze computes for one document.
size_t AnalyseOne(const fs::path& path) {
    const engine::DocumentAnalysis analysis = engine::AnalyzeDocument(path);
    return analysis.outcome.ok ? 1 + analysis.hidden.names.size() : 0;
}

double AnalyseAll(const std::vector<Copy>& copies) {
    auto start = Clock::now();
    size_t seen = 0;
    for (const auto& copy : copies) seen += AnalyseOne(copy.path);
    if (seen == 0) throw std::runtime_error("no document could be analysed");
    return SecondsSince(start);
}

// The record alone, as the summary reader reads it: the yardstick for bytes.
double RecordsAll(const std::vector<Copy>& copies) {
    auto start = Clock::now();
    for (const auto& copy : copies) {
        engine::TSummaryInfo info;
        uint64_t size = 0;
        engine::ReadSummaryInfoWithSize(copy.path, info, size);
    }
    return SecondsSince(start);
}

// velmora-cli analyze --jobs 1: the search lists the tree, then each document in turn.
double ListAndAnalyse(const fs::path& root) {
    auto start = Clock::now();
    std::vector<fs::path> documents;
    engine::FindDocuments(root, true, engine::kAllDocumentTypes, documents);
    for (const auto& path : documents) AnalyseOne(path);
    return SecondsSince(start);
}

// The floor: open, the first 8 KiB, the last 4 KiB, close.
double FloorAll(const std::vector<Copy>& copies) {
    std::vector<uint8_t> buffer(kHeadBytes);
    auto start = Clock::now();
    for (const auto& copy : copies) {
        int fd = ::open(copy.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const ssize_t head = ::pread(fd, buffer.data(), kHeadBytes, 0);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (head >= 0 && size > static_cast<off_t>(kHeadBytes))
            (void)::pread(fd, buffer.data(), kTailBytes, std::max<off_t>(size - static_cast<off_t>(kTailBytes), kHeadBytes));
        ::close(fd);
    }
    return SecondsSince(start);
}

// The window's scan of the whole tree, with sub-folders, offscreen.
double WindowScan(app::TfrmVelmoraMain& window, const fs::path& root, int& rows) {
    window.PageControl1->setCurrentIndex(1);
    window.rbAnalyzeSelectedFiles->click();
    window.txtAnalyzeSelectedFiles->setText(QString::fromStdU16String(engine::PathToText(root)));
    window.chkAnalyzeIncludeSubFolders->setChecked(true);
    auto start = Clock::now();
    window.btnAnalyze2->click();
    QCoreApplication::processEvents();  // the rows are shown
    const double seconds = SecondsSince(start);
    rows = window.lvMetadata->topLevelItemCount();
    return seconds;
}

void PrintRate(const char* label, const std::vector<double>& seconds, size_t count) {
    double best = Best(seconds), median = Median(seconds);
    std::printf("  %-40s best %8.0f docs/s (%7.3f s)   median %8.0f docs/s (%7.3f s)\n", label,
                static_cast<double>(count) / best, best, static_cast<double>(count) / median, median);
}

// Openings, read calls and bytes per document, overall and per type.
void PrintReadings(const char* label, const std::map<fs::path, Reading>& readings, const std::vector<Copy>& copies,
                   const std::vector<fs::path>& corpus, double recordBytesMean) {
    struct Sum {
        uint64_t documents = 0, openings = 0, calls = 0, bytes = 0, max = 0;
        std::string maxName;
    };
    std::map<std::string, Sum> sums;
    for (const auto& copy : copies) {
        auto found = readings.find(copy.path);
        const Reading reading = found == readings.end() ? Reading{} : found->second;
        for (const std::string& key : {std::string("all"), copy.path.extension().string()}) {
            Sum& sum = sums[key];
            ++sum.documents;
            sum.openings += reading.openings;
            sum.calls += reading.calls;
            sum.bytes += reading.bytes;
            if (reading.bytes > sum.max) sum.max = reading.bytes, sum.maxName = corpus[copy.corpusIndex].filename().string();
        }
    }
    std::printf("%s:\n", label);
    for (const auto& [key, sum] : sums) {
        const double n = static_cast<double>(sum.documents);
        std::printf("  %-5s %5" PRIu64 " docs  openings %.2f  read calls %6.1f  bytes mean %9.0f  max %9" PRIu64 " (%s)\n",
                    key.c_str(), sum.documents, static_cast<double>(sum.openings) / n, static_cast<double>(sum.calls) / n,
                    static_cast<double>(sum.bytes) / n, sum.max, sum.maxName.c_str());
    }
    if (recordBytesMean > 0)
        std::printf("  mean bytes / the record's alone: %.2fx (goal: at most 2.5x)\n",
                    static_cast<double>(sums["all"].bytes) / static_cast<double>(sums["all"].documents) / recordBytesMean);
}

double MeanBytes(const std::map<fs::path, Reading>& readings, size_t count) {
    uint64_t bytes = 0;
    for (const auto& [path, reading] : readings) bytes += reading.bytes;
    return static_cast<double>(bytes) / static_cast<double>(count);
}

int Run(int argc, char** argv) {
    size_t count = CountArgument(argc, argv, 1, 2000);
    fs::path workFolder = FolderArgument(argc, argv, 2, fs::temp_directory_path());
    fs::path corpusFolder = FolderArgument(argc, argv, 3, VELMORA_CORPUS_DIR);

    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    framework::MapDesignFonts();
    app::ScopedStartupUpdateCheck noCheck([](const QString&, double&, uint8_t) {});

    ReadingLog log;
    storage::ScopedDocumentSourceOpener opener([&log](const fs::path& path, storage::AccessMode mode) {
        log.opened(path);
        return std::make_unique<LoggedSource>(storage::OpenFileDocument(path, mode), path, log);
    });

    std::vector<fs::path> corpus = CorpusDocuments(corpusFolder);
    ScratchFolder scratch(workFolder, "velmora-analyze-bench");
    std::printf("analyze_benchmark: %zu copies of %zu documents of %s in %s\n", count, corpus.size(),
                corpusFolder.c_str(), scratch.path().c_str());
    std::vector<Copy> copies = MakeTree(scratch.path(), corpus, count);
    SyncAll(copies);
    uint64_t totalSize = 0;
    for (const auto& copy : copies) totalSize += fs::file_size(copy.path);
    std::printf("tree: %zu documents, %.1f MB\n\n", copies.size(), static_cast<double>(totalSize) / 1e6);

    // Untimed passes fill the caches and count what each road reads.
    RecordsAll(copies);
    const auto recordReadings = log.take();
    AnalyseAll(copies);
    const auto analysisReadings = log.take();
    FloorAll(copies);

    std::vector<double> analysisWarm, floorWarm, recordWarm, analysisCold, floorCold;
    for (int round = 0; round < kWarmRounds; ++round) {
        // Alternate the order so that neither phase always follows the other.
        if (round % 2 == 0) {
            floorWarm.push_back(FloorAll(copies));
            analysisWarm.push_back(AnalyseAll(copies));
        } else {
            analysisWarm.push_back(AnalyseAll(copies));
            floorWarm.push_back(FloorAll(copies));
        }
        recordWarm.push_back(RecordsAll(copies));
    }
    for (int round = 0; round < kColdRounds; ++round) {
        EvictAll(copies);
        floorCold.push_back(FloorAll(copies));
        EvictAll(copies);
        analysisCold.push_back(AnalyseAll(copies));
    }
    log.take();

    std::printf("analysis = what velmora-cli analyze computes (record and hidden names); floor = open, pread 8 KiB at\n"
                "the start and 4 KiB at the end, close; record = the summary record alone\n");
    std::printf("warm page cache, %d rounds:\n", kWarmRounds);
    PrintRate("analysis", analysisWarm, count);
    PrintRate("record alone", recordWarm, count);
    PrintRate("floor", floorWarm, count);
    std::printf("  %-40s best %.2fx   median %.2fx   (goal: at most 2.5x)\n", "analysis / floor",
                Best(analysisWarm) / Best(floorWarm), Median(analysisWarm) / Median(floorWarm));
    std::printf("our copies' pages evicted before each pass (posix_fadvise DONTNEED), %d rounds:\n", kColdRounds);
    PrintRate("analysis", analysisCold, count);
    PrintRate("floor", floorCold, count);
    std::printf("  %-40s best %.2fx   median %.2fx\n\n", "analysis / floor", Best(analysisCold) / Best(floorCold),
                Median(analysisCold) / Median(floorCold));

    const double recordMean = MeanBytes(recordReadings, copies.size());
    PrintReadings("the record alone", recordReadings, copies, corpus, 0);
    PrintReadings("analysis", analysisReadings, copies, corpus, recordMean);

    // The window against velmora-cli analyze --jobs 1, listing included in both.
    app::TfrmVelmoraMain window;
    window.show();
    std::vector<double> windowTimes, cliTimes;
    int rows = 0;
    for (int round = 0; round < kWindowRounds; ++round) {
        cliTimes.push_back(ListAndAnalyse(scratch.path()));
        log.take();
        window.lvMetadata->clear();
        windowTimes.push_back(WindowScan(window, scratch.path(), rows));
    }
    const auto windowReadings = log.take();
    std::printf("\nthe window's folder scan (offscreen, %d rows shown) against velmora-cli analyze --jobs 1, %d rounds:\n",
                rows, kWindowRounds);
    PrintRate("window scan", windowTimes, count);
    PrintRate("velmora-cli analyze --jobs 1", cliTimes, count);
    std::printf("  %-40s best %.2fx   median %.2fx   (goal: within 2x)\n", "window / command line",
                Best(windowTimes) / Best(cliTimes), Median(windowTimes) / Median(cliTimes));
    PrintReadings("the window's scan (its last round)", windowReadings, copies, corpus, recordMean);
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

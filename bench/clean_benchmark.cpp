// clean_benchmark: how fast documents are cleaned with every operation, and
// what a cleaning costs the disk: write calls, bytes written, bytes that end
// up different, and fsyncs, per document and per operation applied; for the
// command-line tool's path (one rewrite per document) and, in the same run on
// the same disk, for the window's path (one commit per operation).
//
//   clean_benchmark [COUNT [WORK_FOLDER [CORPUS_FOLDER [SYNC_DELAY_MS]]]]
//
// COUNT copies of the corpus documents (default 500) are made in a fresh
// folder under WORK_FOLDER (default: the system's temporary folder) for each
// round and path, cleaned, compared with their originals and removed.
// SYNC_DELAY_MS (default 0) adds that much to every fsync, to stand for a
// slower disk than the one at hand.

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "engine/clean_run.h"
#include <QApplication>

#include "app/main_window.h"
#include "engine/path_text.h"
#include "engine/summary_info_class.h"
#include "framework/velmora_application.h"
#include "engine/summary_properties.h"
#include "engine/summary_reader.h"
#include "storage/compound_file.h"
#include "storage/document_source.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

constexpr size_t kDocumentsPerFolder = 50;
constexpr int kRounds = 5;
constexpr size_t kBlock = 512;

// What the kernel counted for this process (/proc/self/io): wchar is every
// byte handed to write-family calls, syscw their number, write_bytes the
// page-cache bytes this process dirtied and sent towards the device.
struct ProcessIo {
    uint64_t wchar = 0, syscw = 0, writeBytes = 0;

    static ProcessIo Now() {
        ProcessIo io;
        std::ifstream file("/proc/self/io");
        std::string key;
        uint64_t value = 0;
        while (file >> key >> value) {
            if (key == "wchar:") io.wchar = value;
            if (key == "syscw:") io.syscw = value;
            if (key == "write_bytes:") io.writeBytes = value;
        }
        return io;
    }
};

// Mutating steps the engine takes, counted through the fault-injection seam
// (it sees every writable byte source the engine opens, but not byte counts).
struct StepCounts {
    uint64_t writes = 0, syncs = 0, resizes = 0;
};
StepCounts gSteps;
uint64_t gWriteOpenings = 0;  // documents opened for writing
std::chrono::microseconds gSyncDelay{0};

// Counts every write, sync and resize of the documents the engine opens.
class CountingSource : public storage::ForwardingByteSource {
public:
    using ForwardingByteSource::ForwardingByteSource;
    void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
        ++gSteps.writes;
        ForwardingByteSource::writeAt(offset, bytes);
    }
    void sync() override {
        ++gSteps.syncs;
        ForwardingByteSource::sync();
        if (gSyncDelay.count() > 0) std::this_thread::sleep_for(gSyncDelay);
    }
    void resize(uint64_t newSize) override {
        ++gSteps.resizes;
        ForwardingByteSource::resize(newSize);
    }
};

struct DocumentResult {
    bool ok = false;
    std::string error;
    size_t applied = 0;
    bool bothSets = false;  // changes in both property sets
    StepCounts steps;
    ProcessIo io;
};

struct Difference {
    uint64_t sizeBefore = 0, sizeAfter = 0, bytes = 0, blocks = 0;
};

std::vector<uint8_t> ReadWhole(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Bytes and 512-byte blocks that differ; bytes past the end of the shorter
// file count as different.
Difference Compare(const fs::path& before, const fs::path& after) {
    std::vector<uint8_t> a = ReadWhole(before), b = ReadWhole(after);
    Difference difference{a.size(), b.size(), 0, 0};
    size_t length = std::max(a.size(), b.size());
    for (size_t block = 0; block < length; block += kBlock) {
        uint64_t differing = 0;
        for (size_t i = block; i < std::min(length, block + kBlock); ++i)
            if (i >= a.size() || i >= b.size() || a[i] != b[i]) ++differing;
        difference.bytes += differing;
        if (differing) ++difference.blocks;
    }
    return difference;
}

std::vector<Copy> MakeCopies(const fs::path& root, const std::vector<fs::path>& corpus, size_t count) {
    std::vector<Copy> copies = CopyCorpus(root, corpus, count, [](size_t i) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "folder%03zu", i / kDocumentsPerFolder);
        return fs::path(folder);
    });
    // Durable before the clock starts: the cleaner's fsyncs must not pay for
    // writing back the copies.
    for (const auto& copy : copies) SyncFile(copy.path);
    return copies;
}

// Every operation the window offers too (it has no manager box), author and
// company empty.
engine::CleanSettings EveryOperation() {
    engine::CleanSettings settings;
    settings.operations.assign(std::begin(engine::kAllCleanOperations), std::end(engine::kAllCleanOperations));
    std::erase(settings.operations, engine::CleanOperation::ClearManager);
    return settings;
}

enum class Path { Batch, OnePerOperation };

// The window's cleaning run: one TSummaryInfoClass, one commit per operation.
engine::CleanReport CleanOneAtATime(const fs::path& path, const engine::CleanSettings& settings) {
    using Op = engine::CleanOperation;
    engine::CleanReport report;
    try {
        engine::TSummaryInfoClass document(path);
        for (Op operation : settings.operations) {
            switch (operation) {
            case Op::ClearTitle: document.SetTitle(u""); break;
            case Op::ClearSubject: document.SetSubject(u""); break;
            case Op::ClearKeywords: document.SetKeywords(u""); break;
            case Op::ClearComments: document.SetComments(u""); break;
            case Op::ResetTemplate: document.SetTemplate(u"Normal.dot"); break;
            case Op::ResetRevision: document.SetRevNumber(u"1"); break;
            case Op::ResetEditTime: document.SetEditTime(engine::kZeroEditTime); break;
            case Op::RemoveRevisionLog: document.RemoveRevisionLog(); break;
            case Op::RemoveThumbnail: document.RemoveThumbnail(); break;
            case Op::RemoveGuid: document.RemoveGuid(); break;
            case Op::RemoveHyperlinks: document.RemoveHLinks(); break;
            case Op::ClearLastEditedBy:
                document.SetLastAuthor(u"");
                document.ClearLastSaverNames();
                break;
            case Op::ClearLastSaved: document.SetLastSaved(0.0); break;
            case Op::ClearLastPrinted: document.SetLastPrinted(0.0); break;
            case Op::ClearCreated: document.SetCreated(0.0); break;
            case Op::SetAuthor: document.SetAuthor(settings.author); break;
            case Op::SetCompany: document.SetCompany(settings.company); break;
            // The old one-commit-per-operation road had none of these.
            case Op::ClearManager:
            case Op::ClearCustom:
            case Op::RemovePrinter: break;
            }
        }
    } catch (const storage::StorageError& error) {
        report.ok = false;
        report.error = error.what();
    }
    return report;
}

struct Round {
    double seconds = 0;
    std::vector<DocumentResult> results;
};

ProcessIo Delta(const ProcessIo& before, const ProcessIo& after) {
    return {after.wchar - before.wchar, after.syscw - before.syscw, after.writeBytes - before.writeBytes};
}

Round CleanAll(const std::vector<Copy>& copies, const engine::CleanSettings& settings, Path path) {
    Round round;
    round.results.resize(copies.size());
    // Reading /proc/self/io costs microseconds against milliseconds of
    // cleaning, and is no write, so it stays inside the timed loop.
    auto start = Clock::now();
    for (size_t i = 0; i < copies.size(); ++i) {
        StepCounts before = gSteps;
        ProcessIo ioBefore = ProcessIo::Now();
        engine::CleanReport report = path == Path::Batch ? engine::CleanDocument(copies[i].path, settings, false)
                                                         : CleanOneAtATime(copies[i].path, settings);
        DocumentResult& result = round.results[i];
        result.io = Delta(ioBefore, ProcessIo::Now());
        result.ok = report.ok;
        result.error = report.error;
        result.applied = report.changed.size();
        bool sets[2] = {false, false};
        for (const auto& field : report.changed) {
            // Names blanked outside the sets and the free space are no property.
            if (field == "WriteAccess" || field == "CurrentUser" || field == "RevisionLog" || field == "FreeSpace") continue;
            sets[engine::SummaryPropertyNamed(field).setIndex] = true;
        }
        result.bothSets = sets[0] && sets[1];
        result.steps = {gSteps.writes - before.writes, gSteps.syncs - before.syncs, gSteps.resizes - before.resizes};
    }
    round.seconds = SecondsSince(start);
    return round;
}

// This disk's price of one small durable write, measured next to the
// documents: cleaning time is mostly a multiple of it.
double FsyncLatencySeconds(const fs::path& folder) {
    fs::path probe = folder / "fsync-probe";
    int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    std::vector<double> samples;
    const std::vector<uint8_t> block(kBlock, 0x5A);
    for (int i = 0; i < 100; ++i) {
        auto start = Clock::now();
        if (::pwrite(fd, block.data(), block.size(), static_cast<off_t>((i % 8) * kBlock)) < 0 || ::fsync(fd) != 0) break;
        samples.push_back(SecondsSince(start));
    }
    ::close(fd);
    fs::remove(probe);
    return Median(samples);
}

uint64_t SummaryStreamsSize(const fs::path& path) {
    auto source = storage::OpenFileDocument(path, storage::AccessMode::Read);
    storage::CompoundFile file(*source);
    uint64_t total = 0;
    for (const char16_t* name : {u"\u0005SummaryInformation", u"\u0005DocumentSummaryInformation"})
        if (auto entry = file.findInRoot(name)) total += entry->streamSize;
    return total;
}

double PerUnit(uint64_t total, uint64_t units) {
    return units ? static_cast<double>(total) / static_cast<double>(units) : 0.0;
}

// The window's cleaning run, offscreen: the folder mode over `folder`, every
// box ticked (author and company empty), originals overwritten or copied.
struct WindowRun {
    double seconds = 0;
    uint64_t syncs = 0, writeOpenings = 0;
    QString completion;
};

WindowRun RunTheWindow(const fs::path& folder, bool overwrite) {
    app::TfrmVelmoraMain window;
    window.show();
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanAllDocsInFolder->click();
    window.txtCleanAllDocsInFolder->setText(QString::fromStdU16String(engine::PathToText(folder)));
    window.chkCleanIncludeSubfolders->setChecked(true);
    window.chkCleanOverwriteOriginal->setChecked(overwrite);
    window.btnClean2->click();
    window.lblSelectAllClick(window.lblSelectAll);
    window.txtAuthor->clear();
    window.txtCompany->clear();
    const StepCounts before = gSteps;
    const uint64_t openingsBefore = gWriteOpenings;
    const auto start = Clock::now();
    window.Button8->click();
    WindowRun run;
    run.seconds = SecondsSince(start);
    run.syncs = gSteps.syncs - before.syncs;
    run.writeOpenings = gWriteOpenings - openingsBefore;
    run.completion = window.Label24->text() + QStringLiteral(" / ") + window.Label25->text();
    return run;
}

int Run(int argc, char** argv) {
    size_t count = CountArgument(argc, argv, 1, 500);
    fs::path workFolder = FolderArgument(argc, argv, 2, fs::temp_directory_path());
    fs::path corpusFolder = FolderArgument(argc, argv, 3, VELMORA_CORPUS_DIR);
    const double delayMs = argc > 4 ? std::stod(argv[4]) : 0.0;
    gSyncDelay = std::chrono::microseconds(static_cast<int64_t>(delayMs * 1000));

    std::vector<fs::path> corpus = CorpusDocuments(corpusFolder);
    ScratchFolder scratch(workFolder, "velmora-clean-bench");
    std::printf("clean_benchmark: %zu copies of %zu corpus documents per round and path, %d rounds, in %s\n", count,
                corpus.size(), kRounds, scratch.path().c_str());
    const engine::CleanSettings settings = EveryOperation();
    std::printf("every operation (%zu), author and company empty; %.2f ms added to every fsync\n\n",
                settings.operations.size(), delayMs);
    std::fflush(stdout);

    storage::ScopedDocumentSourceOpener counting([](const fs::path& path, storage::AccessMode mode) {
        if (mode == storage::AccessMode::ReadWrite) ++gWriteOpenings;
        return std::unique_ptr<storage::WritableByteSource>(
            std::make_unique<CountingSource>(storage::OpenFileDocument(path, mode)));
    });

    std::vector<double> seconds, singleSeconds;
    Round first, firstSingle;
    std::vector<Difference> differences, singleDifferences;
    size_t unreadable = 0, notIdempotent = 0;
    for (int roundIndex = 0; roundIndex < kRounds; ++roundIndex) {
        for (Path path : {Path::Batch, Path::OnePerOperation}) {
            const bool batch = path == Path::Batch;
            fs::path folder = scratch.path() / ((batch ? "batch" : "single") + std::to_string(roundIndex));
            std::vector<Copy> copies = MakeCopies(folder, corpus, count);
            double fsyncBefore = FsyncLatencySeconds(folder);
            Round round = CleanAll(copies, settings, path);
            double fsyncAfter = FsyncLatencySeconds(folder);
            (batch ? seconds : singleSeconds).push_back(round.seconds);
            uint64_t syncs = 0;
            for (const auto& result : round.results) syncs += result.steps.syncs;
            std::printf("round %d, %-24s %7.2f s, %7.1f docs/s; one pwrite+fsync here took %.2f ms before, %.2f ms after "
                        "(%" PRIu64 " fsyncs)\n",
                        roundIndex + 1, batch ? "one rewrite per document:" : "one commit per operation:", round.seconds,
                        static_cast<double>(count) / round.seconds, 1000 * fsyncBefore, 1000 * fsyncAfter, syncs);
            std::fflush(stdout);
            if (roundIndex == 0) {
                // The work is the same in every round; inspect the first one's results.
                for (const auto& copy : copies) {
                    (batch ? differences : singleDifferences).push_back(Compare(corpus[copy.corpusIndex], copy.path));
                    engine::TSummaryInfo info;
                    if (!engine::ReadSummaryInfo(copy.path, info)) ++unreadable;
                    engine::CleanReport again = engine::CleanDocument(copy.path, settings, true);
                    if (!again.ok || !again.changed.empty()) ++notIdempotent;
                }
                (batch ? first : firstSingle) = std::move(round);
            }
            fs::remove_all(folder);
        }
    }

    // The goals: syncs of a document whose two sets both change, documents
    // per second against the per-operation path, bytes written against the
    // property-set streams' sizes.
    uint64_t maxBothSyncs = 0, bothDocuments = 0;
    double written = 0, streams = 0, singleWritten = 0, singleSyncs = 0;
    for (size_t i = 0; i < count; ++i) {
        if (first.results[i].bothSets) {
            ++bothDocuments;
            maxBothSyncs = std::max(maxBothSyncs, first.results[i].steps.syncs);
        }
        written += static_cast<double>(first.results[i].io.wchar);
        singleWritten += static_cast<double>(firstSingle.results[i].io.wchar);
        singleSyncs += static_cast<double>(firstSingle.results[i].steps.syncs);
        streams += static_cast<double>(SummaryStreamsSize(corpus[i % corpus.size()]));
    }
    // The window against velmora-cli, on the same documents.
    for (bool overwrite : {true, false}) {
        fs::path folder = scratch.path() / (overwrite ? "window-overwrite" : "window-copies");
        MakeCopies(folder, corpus, count);
        const WindowRun run = RunTheWindow(folder, overwrite);
        std::printf("the window's run (offscreen, %s): %7.2f s, %.2f fsyncs and %.2f openings for writing per document\n"
                    "  (%s)\n",
                    overwrite ? "originals overwritten" : "cleaned copies", run.seconds, PerUnit(run.syncs, count),
                    PerUnit(run.writeOpenings, count), run.completion.toStdString().c_str());
        fs::remove_all(folder);
    }
    uint64_t batchSyncs = 0;
    for (const auto& result : first.results) batchSyncs += result.steps.syncs;
    std::printf("velmora-cli's clean of the same documents: %.2f fsyncs per document\n", PerUnit(batchSyncs, count));

    std::printf("\ngoals (first round; medians over %d rounds):\n", kRounds);
    std::printf("  fsyncs per document with both sets changing: at most %" PRIu64 " (%" PRIu64 " such documents)\n",
                maxBothSyncs, bothDocuments);
    std::printf("  one rewrite per document: %.1f docs/s; one commit per operation: %.1f docs/s; %.1fx\n",
                static_cast<double>(count) / Median(seconds), static_cast<double>(count) / Median(singleSeconds),
                Median(singleSeconds) / Median(seconds));
    std::printf("  bytes written per byte of the two property-set streams: %.2f (one commit per operation: %.2f)\n",
                written / std::max(streams, 1.0), singleWritten / std::max(streams, 1.0));
    std::printf("  one commit per operation: %.1f fsyncs and %.0f bytes written per document\n",
                singleSyncs / static_cast<double>(count), singleWritten / static_cast<double>(count));
    double singleGrowth = 0, maxSingleGrowth = 0;
    for (const auto& difference : singleDifferences) {
        const double growth = static_cast<double>(difference.sizeAfter) - static_cast<double>(difference.sizeBefore);
        singleGrowth += growth;
        maxSingleGrowth = std::max(maxSingleGrowth, growth);
    }
    std::printf("  one commit per operation: file growth mean %.0f, max %.0f bytes\n",
                singleGrowth / static_cast<double>(count), maxSingleGrowth);

    // Over the first round's documents.
    uint64_t applied = 0, failed = 0, untouched = 0;
    uint64_t totalSyncs = 0, totalWrites = 0, totalWchar = 0, totalChanged = 0;
    std::map<std::string, size_t> errors;
    std::vector<double> appliedPer, writesPer, resizesPer, syncsPer, wcharPer, dirtiedPer, changedPer, blocksPer,
        growthPer;
    for (size_t i = 0; i < count; ++i) {
        const DocumentResult& result = first.results[i];
        const Difference& difference = differences[i];
        applied += result.applied;
        if (!result.ok) ++failed, ++errors[result.error];
        if (result.applied == 0) ++untouched;
        totalSyncs += result.steps.syncs;
        totalWrites += result.steps.writes;
        totalWchar += result.io.wchar;
        totalChanged += difference.bytes;
        appliedPer.push_back(static_cast<double>(result.applied));
        writesPer.push_back(static_cast<double>(result.steps.writes));
        resizesPer.push_back(static_cast<double>(result.steps.resizes));
        syncsPer.push_back(static_cast<double>(result.steps.syncs));
        wcharPer.push_back(static_cast<double>(result.io.wchar));
        dirtiedPer.push_back(static_cast<double>(result.io.writeBytes));
        changedPer.push_back(static_cast<double>(difference.bytes));
        blocksPer.push_back(static_cast<double>(difference.blocks));
        growthPer.push_back(static_cast<double>(difference.sizeAfter) - static_cast<double>(difference.sizeBefore));
    }
    auto row = [](const char* label, const std::vector<double>& values, const char* meaning) {
        double sum = 0, max = 0;
        for (double value : values) sum += value, max = std::max(max, value);
        std::printf("  %-22s %10.1f %10.1f %10.0f  %s\n", label, sum / static_cast<double>(values.size()),
                    Median(values), max, meaning);
    };

    std::printf("\none rewrite per document, speed (copying untimed; fsync latency dominates):\n");
    std::printf("  best   %8.1f docs/s (%.2f s)\n", static_cast<double>(count) / Best(seconds), Best(seconds));
    std::printf("  median %8.1f docs/s (%.2f s)\n", static_cast<double>(count) / Median(seconds), Median(seconds));
    std::printf("  %.2f ms per applied operation (median round), %.2f ms (best round)\n",
                1000.0 * Median(seconds) / static_cast<double>(std::max<uint64_t>(applied, 1)),
                1000.0 * Best(seconds) / static_cast<double>(std::max<uint64_t>(applied, 1)));

    std::printf("\nper document (first round, %zu documents):\n", count);
    std::printf("  %-22s %10s %10s %10s\n", "", "mean", "median", "max");
    row("operations applied", appliedPer, "of 15 selected (CleanReport::changed)");
    row("write steps", writesPer, "pwrite calls the engine made (counted by the benchmark's document source)");
    row("resize steps", resizesPer, "ftruncate calls");
    row("fsyncs", syncsPer, "fsync calls");
    row("bytes written", wcharPer, "bytes handed to write calls (/proc/self/io wchar)");
    row("bytes dirtied", dirtiedPer, "page-cache bytes sent towards the disk (/proc/self/io write_bytes)");
    row("bytes changed", changedPer, "bytes that differ from the original, growth included");
    row("512-byte blocks changed", blocksPer, "blocks holding a changed byte");
    row("file growth", growthPer, "bytes");
    std::printf("  %" PRIu64 " documents had nothing to change\n", untouched);

    std::printf("\nper applied operation (%" PRIu64 " applied in %zu documents):\n", applied, count);
    std::printf("  fsyncs %.2f, write steps %.1f, bytes written %.0f, bytes changed %.0f\n",
                PerUnit(totalSyncs, applied), PerUnit(totalWrites, applied), PerUnit(totalWchar, applied),
                PerUnit(totalChanged, applied));
    std::printf("  fsyncs per selected operation (%zu per document): %.2f\n", settings.operations.size(),
                PerUnit(totalSyncs, count * settings.operations.size()));

    std::printf("\nchecks: %" PRIu64 " cleanings failed, %zu cleaned documents unreadable, "
                "%zu would still change on a second run\n",
                failed, unreadable, notIdempotent);
    for (const auto& [message, times] : errors) std::printf("  failed %zux: %s\n", times, message.c_str());

    // Per corpus document: the first copy of each.
    std::printf("\n%-56s %8s %7s %6s %6s %6s %9s %9s %6s %s\n", "corpus document (first copy)", "size", "applied",
                "writes", "syncs", "resize", "written", "changed", "blocks", "");
    for (size_t index = 0; index < corpus.size() && index < count; ++index) {
        const DocumentResult& result = first.results[index];
        const Difference& difference = differences[index];
        std::string name = fs::relative(corpus[index], corpusFolder).string();
        std::printf("%-56s %8" PRIu64 " %7zu %6" PRIu64 " %6" PRIu64 " %6" PRIu64 " %9" PRIu64 " %9" PRIu64
                    " %6" PRIu64 " %s\n",
                    name.c_str(), difference.sizeBefore, result.applied, result.steps.writes, result.steps.syncs,
                    result.steps.resizes, result.io.wchar, difference.bytes, difference.blocks,
                    result.ok ? (difference.sizeAfter != difference.sizeBefore ? "grew" : "") : "FAILED");
    }
    return failed || unreadable || notIdempotent ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::printf("usage: clean_benchmark [COUNT [WORK_FOLDER [CORPUS_FOLDER]]]\n");
        return 0;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    velmora::framework::MapDesignFonts();
    velmora::app::ScopedStartupUpdateCheck noCheck([](const QString&, double&, uint8_t) {});
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "clean_benchmark: %s\n", error.what());
        return 1;
    }
}

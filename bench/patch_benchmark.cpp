// What blanking a name in place costs the disk: a workbook of SIZE MB whose
// WriteAccess names someone, blanked through the sector copy-on-write patch
// (BlankLastSaverNames), against replacing the whole Workbook stream with the
// same bytes. Counts the bytes, writes and fsyncs the engine hands to the
// document through a counting document source.
//   patch_benchmark [SIZE_MB [WORK_FOLDER]]
#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "bench_support.h"
#include "engine/hidden_names.h"
#include "engine/last_saver_blanking.h"
#include "storage/compound_file_writer.h"
#include "storage/document_source.h"
#include "support/compound_file_builder.h"

namespace {

using namespace velmora;
using bench::fs::path;

struct Counts {
    uint64_t bytes = 0, writes = 0, syncs = 0;
};
Counts gCounts;

class CountingSource : public storage::ForwardingByteSource {
public:
    using ForwardingByteSource::ForwardingByteSource;
    void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
        ++gCounts.writes;
        gCounts.bytes += bytes.size();
        ForwardingByteSource::writeAt(offset, bytes);
    }
    void sync() override {
        ++gCounts.syncs;
        ForwardingByteSource::sync();
    }
};

void Record(std::vector<uint8_t>& stream, uint16_t type, const std::vector<uint8_t>& body) {
    stream.insert(stream.end(), {static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                                 static_cast<uint8_t>(body.size()), static_cast<uint8_t>(body.size() >> 8)});
    stream.insert(stream.end(), body.begin(), body.end());
}

// BOF, a 112-byte WriteAccess naming someone, filler records to the size, EOF.
std::vector<uint8_t> Workbook(size_t size) {
    std::vector<uint8_t> stream;
    Record(stream, 0x0809, {0x00, 0x06, 0x05, 0x00});
    const std::string user = "Grace Brewster Hopper";
    std::vector<uint8_t> access = {static_cast<uint8_t>(user.size()), 0, 0};
    access.insert(access.end(), user.begin(), user.end());
    access.resize(112, ' ');
    Record(stream, 0x005C, access);
    std::vector<uint8_t> filler(8000);
    for (size_t i = 0; i < filler.size(); ++i) filler[i] = static_cast<uint8_t>(i * 7);
    while (stream.size() + 4 + filler.size() + 4 < size) Record(stream, 0x00FC, filler);
    Record(stream, 0x000A, {});
    return stream;
}

int Run(int argc, char** argv) {
    const size_t megabytes = bench::CountArgument(argc, argv, 1, 10);
    const path work = bench::FolderArgument(argc, argv, 2, bench::fs::temp_directory_path());
    bench::ScratchFolder scratch(work, "velmora-patch-bench");
    const auto built = testing::CompoundFileBuilder(3)
                           .addStream(u"Workbook", Workbook(megabytes * 1024 * 1024))
                           .addStream(u"\u0005SummaryInformation", std::vector<uint8_t>(400, 0))
                           .build();
    storage::ScopedDocumentSourceOpener counting([](const path& file, storage::AccessMode mode) {
        return std::unique_ptr<storage::WritableByteSource>(std::make_unique<CountingSource>(storage::OpenFileDocument(file, mode)));
    });
    std::printf("workbook of %zu MB (%zu bytes), WriteAccess naming someone\n", megabytes, built.bytes.size());
    for (const bool patch : {true, false}) {
        const path file = scratch.path() / (patch ? "patched.xls" : "replaced.xls");
        {
            std::FILE* out = std::fopen(file.c_str(), "wb");
            std::fwrite(built.bytes.data(), 1, built.bytes.size(), out);
            std::fclose(out);
        }
        bench::SyncFile(file);
        gCounts = {};
        const auto start = bench::Clock::now();
        if (patch) {
            engine::BlankLastSaverNames(file);
        } else {
            auto source = storage::OpenDocumentSource(file, storage::AccessMode::ReadWrite);
            storage::CompoundFileWriter writer(*source);
            std::vector<uint8_t> content = writer.readRootStream(u"Workbook");
            std::string problem;
            engine::BlankWriteAccess(content, problem);
            writer.replaceRootStream(u"Workbook", content);
        }
        const double seconds = bench::SecondsSince(start);
        std::printf("  %-34s %10" PRIu64 " bytes written in %4" PRIu64 " writes, %" PRIu64 " fsyncs, %.3f s, file %s\n",
                    patch ? "sector copy-on-write patch:" : "whole-stream replacement:", gCounts.bytes, gCounts.writes,
                    gCounts.syncs, seconds,
                    bench::fs::file_size(file) == built.bytes.size() ? "same length" : "length changed");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "patch_benchmark: %s\n", error.what());
        return 1;
    }
}

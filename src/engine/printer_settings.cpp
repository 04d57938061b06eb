#include "engine/printer_settings.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/text_conversions.h"
#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::engine {

namespace {

constexpr uint16_t kBof = 0x0809, kEof = 0x000A, kFilePass = 0x002F, kBoundSheet = 0x0085, kPls = 0x004D,
                   kContinue = 0x003C;
// Records that come after a sheet's page settings: its dimensions, its
// first row or cell, a chart's body. The walk of a sheet ends there.
constexpr uint16_t kAfterPageSettings[] = {0x0200 /* Dimensions */, 0x0208 /* Row */, 0x0203 /* Number */,
                                           0x00FD /* LabelSst */, 0x0204 /* Label */, 0x027E /* RK */,
                                           0x00BD /* MulRk */, 0x0006 /* Formula */, 0x0201 /* Blank */,
                                           0x00BE /* MulBlank */, 0x1002 /* Chart */, kEof};
// However long a sheet's page-settings block, a walk stops after this many records.
constexpr int kRecordsPerSheet = 4096;

struct Malformed {
    std::string what;
};

// Runs a walk of `where`; what keeps it from the end is a problem of that
// place, said in words: false then.
template <class Body>
bool Walked(const std::string& where, std::vector<std::string>& problems, Body body) {
    try {
        body();
        return true;
    } catch (const Malformed& malformed) {
        problems.push_back(where + ": not cleaned: " + malformed.what);
    } catch (const std::out_of_range&) {
        problems.push_back(where + ": not cleaned: a record or table runs past its stream");
    } catch (const storage::StorageError& error) {
        // A sector the stream cannot give: what was found stands, the rest is unread.
        problems.push_back(where + ": not read: " + error.what());
    }
    return false;
}

// One Windows DEVMODE inside a Pls record and the Continue records after it.
struct DevMode {
    std::vector<std::pair<size_t, size_t>> pieces;  // stream offset and length of each part of rgb
    size_t size = 0;                                // rgb's length in all
    size_t nameBytes = 0;                           // the device name's field
    size_t driverBegin = 0, driverEnd = 0;          // the driver's own data: [dmSize, dmSize + dmDriverExtra)
    std::u16string name;

    // The stream offset of rgb's byte `at`.
    size_t offsetOf(size_t at) const {
        for (const auto& [offset, length] : pieces) {
            if (at < length) return offset + at;
            at -= length;
        }
        return std::string::npos;
    }
};

struct Walk {
    std::vector<DevMode> devModes;
    bool wide = true;  // BIFF8: DEVMODEW (UTF-16 names); BIFF5: DEVMODEA
};

// rgb of the Pls at `at` (header included) with the Continue records after it.
DevMode ReadDevMode(StreamBytes& stream, size_t at, size_t length, bool wide) {
    DevMode mode;
    mode.pieces.push_back({at + 4 + 2, length - 2});
    mode.size = length - 2;
    for (size_t next = at + 4 + length; next + 4 <= stream.size();) {
        const auto header = stream.bytes(next, 4);
        if (storage::LoadU16(header, 0) != kContinue) break;
        const size_t more = storage::LoadU16(header, 2);
        if (next + 4 + more > stream.size()) throw Malformed{"a Continue record runs past the stream"};
        mode.pieces.push_back({next + 4, more});
        mode.size += more;
        next += 4 + more;
    }
    const size_t nameBytes = wide ? 64 : 32;
    if (mode.size < nameBytes + 8) throw Malformed{"printer settings shorter than their header"};
    std::vector<uint8_t> head;
    for (size_t i = 0; i < nameBytes + 8; ++i) head.push_back(stream.bytes(mode.offsetOf(i), 1)[0]);
    const size_t dmSize = storage::LoadU16(head, nameBytes + 4), dmDriverExtra = storage::LoadU16(head, nameBytes + 6);
    if (dmSize < nameBytes + 8 || dmSize + dmDriverExtra > mode.size)
        throw Malformed{"printer settings whose sizes do not fit their record"};
    mode.nameBytes = nameBytes;
    mode.driverBegin = dmSize;
    mode.driverEnd = dmSize + dmDriverExtra;
    std::u16string name = DecodeName(std::span(head).first(nameBytes), wide);
    name.erase(std::find(name.begin(), name.end(), u'\0'), name.end());
    if (!IsBlankName(name)) mode.name = std::move(name);
    return mode;
}

// `wholeChain`: the sheets' offsets must be record starts on the one chain
// of records from the stream's start (the clean reads the stream whole
// anyway): an offset the globals point into the middle of a record, at bytes
// that only look like records, must not decide what is zeroed.
Walk WalkWorkbook(StreamBytes& stream, bool wholeChain) {
    Walk walk;
    auto header = [&](size_t at) {
        if (at + 4 > stream.size()) throw Malformed{"a record runs past the stream"};
        const auto bytes = stream.bytes(at, 4);
        const size_t length = storage::LoadU16(bytes, 2);
        if (at + 4 + length > stream.size()) throw Malformed{"a record runs past the stream"};
        return std::pair<uint16_t, size_t>{storage::LoadU16(bytes, 0), length};
    };
    const auto [firstType, firstLength] = header(0);
    if (firstType != kBof || firstLength < 4) throw Malformed{"no BOF record at the start"};
    walk.wide = storage::LoadU16(stream.bytes(4, 2), 0) == 0x0600;

    // The globals: where each sheet begins.
    std::set<size_t> sheets;
    size_t at = 0;
    for (;;) {
        const auto [type, length] = header(at);
        if (type == kFilePass) throw Malformed{"the workbook is encrypted"};
        if (type == kBoundSheet && length >= 4) sheets.insert(storage::LoadU32(stream.bytes(at + 4, 4), 0));
        if (type == kPls && length >= 2 && storage::LoadU16(stream.bytes(at + 4, 2), 0) == 0)
            walk.devModes.push_back(ReadDevMode(stream, at, length, walk.wide));
        at += 4 + length;
        if (type == kEof) break;
    }
    std::vector<size_t> starts;
    if (wholeChain) {
        for (size_t record = 0; record + 4 <= stream.size();) {
            starts.push_back(record);
            record += 4 + header(record).second;
        }
    }
    for (const size_t sheet : sheets) {
        if (sheet < at) throw Malformed{"a sheet begins inside the globals"};
        if (wholeChain && !std::binary_search(starts.begin(), starts.end(), sheet))
            throw Malformed{"a sheet's offset is not where a record begins"};
        size_t record = sheet;
        for (int count = 0;; ++count) {
            // A page-settings block that long is no page-settings block.
            if (count == kRecordsPerSheet) throw Malformed{"a sheet's page settings do not end"};
            const auto [type, length] = header(record);
            if (count == 0 && type != kBof) throw Malformed{"a sheet does not begin with a BOF record"};
            if (type == kPls && length >= 2 && storage::LoadU16(stream.bytes(record + 4, 2), 0) == 0)
                walk.devModes.push_back(ReadDevMode(stream, record, length, walk.wide));
            if (count > 0 && std::find(std::begin(kAfterPageSettings), std::end(kAfterPageSettings), type) !=
                                 std::end(kAfterPageSettings))
                break;
            record += 4 + length;
        }
    }
    return walk;
}

// Word's printer tables, by their FIB pairs.
constexpr std::pair<size_t, const char*> kWordPrinterTables[] = {{27, "PrDrvr"}, {28, "PrEnvPort"}, {29, "PrEnvLand"}};

// The first run of printable characters: the printer's name, which each of
// Word's tables begins with (PrDrvr holds the printer, its port and its
// driver one after another; the others a DEVMODE).
std::u16string FirstPrintedName(std::span<const uint8_t> bytes) {
    std::u16string name;
    for (uint8_t byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F) {
            name += static_cast<char16_t>(byte);
        } else if (!name.empty()) {
            break;
        }
    }
    return IsBlankName(name) ? std::u16string() : name;
}

struct WordTable {
    const char* where;
    FibPairs::Pair pair;
};

// Word's printer tables that lie whole in the table stream and share no
// byte with another structure.
std::vector<WordTable> WordPrinterTables(const FibPairs& fib, uint64_t tableSize) {
    std::vector<WordTable> tables;
    for (const auto& [index, where] : kWordPrinterTables) {
        const std::optional<FibPairs::Pair> pair = fib.at(index);
        if (!pair) continue;
        if (uint64_t{pair->fc} + pair->lcb > tableSize) throw Malformed{std::string(where) + " lies outside the table stream"};
        if (fib.overlapsAnother(index)) throw Malformed{std::string(where) + " overlaps another table"};
        tables.push_back({where, *pair});
    }
    return tables;
}

}  // namespace

void FindWordPrinters(StreamBytes& word, const RootStreamBytes& open, PrinterScan& found) {
    Walked("WordDocument", found.problems, [&] {
        std::string problem;
        const std::optional<FibPairs> fib = ReadFibPairs(word, problem);
        if (!problem.empty()) found.problems.push_back(problem);
        if (!fib) return;
        if (std::none_of(std::begin(kWordPrinterTables), std::end(kWordPrinterTables),
                         [&](const auto& table) { return fib->at(table.first).has_value(); }))
            return;
        StreamBytes* const table = open(fib->tableName);
        if (table == nullptr) throw Malformed{"its table stream is missing"};
        for (const WordTable& printer : WordPrinterTables(*fib, table->size())) {
            const std::u16string name = FirstPrintedName(table->bytes(printer.pair.fc, printer.pair.lcb));
            if (!name.empty()) found.places.push_back({printer.where, fib->tableName, name});
        }
    });
}

void FindWorkbookPrinters(std::u16string_view streamName, StreamBytes& stream, PrinterScan& found) {
    Walked(WideToUtf8(streamName), found.problems, [&] {
        for (DevMode& mode : WalkWorkbook(stream, false).devModes)
            if (!mode.name.empty()) found.places.push_back({"Pls", std::u16string(streamName), std::move(mode.name)});
    });
}

PrinterScan ScanPrinters(const RootStreamBytes& open) {
    PrinterScan scan;
    for (const char16_t* name : {u"Workbook", u"Book"})
        if (StreamBytes* stream = open(name)) FindWorkbookPrinters(name, *stream, scan);
    if (StreamBytes* word = open(u"WordDocument")) FindWordPrinters(*word, open, scan);
    return scan;
}

namespace {

void PlanWordPrinterDrops(const RootStreamSource& read, InPlaceBlanking& plan) {
    const std::optional<std::vector<uint8_t>> word = read(u"WordDocument");
    if (!word) return;
    HeldStreamBytes heldWord(*word);
    Walked("WordDocument", plan.problems, [&] {
        std::string problem;
        const std::optional<FibPairs> fib = ReadFibPairs(heldWord, problem);
        if (!problem.empty()) {
            plan.problems.push_back(problem);
            return;
        }
        if (!fib) return;
        const std::optional<std::vector<uint8_t>> table = read(fib->tableName);
        const std::vector<WordTable> tables = WordPrinterTables(*fib, table ? table->size() : 0);
        if (tables.empty()) return;
        // The FIB first: once it points at nothing, the bytes zeroed after
        // it are nobody's.
        std::vector<uint8_t> fibAfter = *word, tableAfter = *table;
        for (const WordTable& drop : tables) {
            std::fill_n(fibAfter.begin() + static_cast<std::ptrdiff_t>(drop.pair.fibOffset), 8, 0);
            std::fill_n(tableAfter.begin() + static_cast<std::ptrdiff_t>(drop.pair.fc), drop.pair.lcb, 0);
        }
        std::vector<storage::StreamPatch> fibPatches = DifferingRanges(*word, fibAfter);
        std::vector<storage::StreamPatch> tablePatches = DifferingRanges(*table, tableAfter);
        if (!fibPatches.empty()) plan.streams.push_back({u"WordDocument", std::move(fibPatches)});
        if (!tablePatches.empty()) plan.streams.push_back({fib->tableName, std::move(tablePatches)});
    });
}

}  // namespace

InPlaceBlanking PlanPrinterBlanking(const RootStreamSource& read) {
    InPlaceBlanking plan;
    for (const char16_t* name : {u"Workbook", u"Book"}) {
        const std::optional<std::vector<uint8_t>> before = read(name);
        if (!before) continue;
        HeldStreamBytes held(*before);
        std::vector<uint8_t> after = *before;
        const bool walked = Walked(WideToUtf8(name), plan.problems, [&] {
            for (const DevMode& mode : WalkWorkbook(held, true).devModes) {
                // The device name, and the driver's own data after the public fields.
                for (size_t i = 0; i < mode.nameBytes; ++i) after[mode.offsetOf(i)] = 0;
                for (size_t i = mode.driverBegin; i < mode.driverEnd; ++i) after[mode.offsetOf(i)] = 0;
            }
        });
        if (!walked) continue;
        std::vector<storage::StreamPatch> patches = DifferingRanges(*before, after);
        if (!patches.empty()) plan.streams.push_back({name, std::move(patches)});
    }
    PlanWordPrinterDrops(read, plan);
    return plan;
}

}  // namespace velmora::engine

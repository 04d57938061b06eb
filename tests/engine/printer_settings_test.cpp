// The workbook printer walk on streams made here: what decides which bytes
// a blanking zeroes.
#include "engine/printer_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::engine {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint16_t value) { out.insert(out.end(), {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}); }
void Put32(Bytes& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

Bytes Record(uint16_t type, const Bytes& body) {
    Bytes out;
    Put16(out, type);
    Put16(out, static_cast<uint16_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Bof() {
    Bytes body(16, 0);
    body[0] = 0x00;
    body[1] = 0x06;  // BIFF8
    return Record(0x0809, body);
}

// A Pls record: the reserved word, a DEVMODEW naming `printer`, 8 bytes of
// driver data.
Bytes Pls(const std::u16string& printer) {
    Bytes body = {0, 0};
    Bytes mode(64, 0);
    for (size_t i = 0; i < printer.size(); ++i) mode[2 * i] = static_cast<uint8_t>(printer[i]);
    Put16(mode, 0x0401);
    Put16(mode, 0);
    Put16(mode, 72);  // dmSize: the name, the four words and 0 more
    Put16(mode, 8);   // dmDriverExtra
    mode.resize(72, 0x11);
    mode.insert(mode.end(), 8, 0x22);
    body.insert(body.end(), mode.begin(), mode.end());
    return Record(0x004D, body);
}

// Globals pointing their one sheet at `sheetOffset` (0: the real sheet),
// then a Label whose text looks like a sheet with a Pls, then the sheet.
Bytes Workbook(bool pointIntoTheLabel) {
    const Bytes fake = [] {
        Bytes text = Bof();
        const Bytes pls = Pls(u"Fake Printer");
        text.insert(text.end(), pls.begin(), pls.end());
        return text;
    }();
    Bytes labelBody = {0, 0, 0, 0, 0, 0};
    labelBody.insert(labelBody.end(), fake.begin(), fake.end());
    const Bytes label = Record(0x0204, labelBody);
    const size_t globals = Bof().size() + 4 + 8 + 4;  // BOF, BoundSheet, EOF
    const size_t labelAt = globals;
    const size_t sheetAt = labelAt + label.size();
    Bytes bound;
    Put32(bound, static_cast<uint32_t>(pointIntoTheLabel ? labelAt + 4 + 6 : sheetAt));
    bound.resize(8, 0);
    Bytes out = Bof();
    for (const Bytes& part : {Record(0x0085, bound), Record(0x000A, {}), label, Bof(), Pls(u"Real Printer"),
                              Record(0x0200, Bytes(14, 0)), Record(0x000A, {})})
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST(WorkbookPrinters, OnlyASheetThatBeginsWhereARecordBeginsIsBlanked) {
    struct Case {
        const char* name;
        bool pointIntoTheLabel;
        bool blanked;
    };
    const Case cases[] = {{"the real sheet", false, true}, {"an offset inside a cell's text", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = Workbook(c.pointIntoTheLabel);
        const InPlaceBlanking plan = PlanPrinterBlanking([&](std::u16string_view name) -> std::optional<Bytes> {
            if (name == u"Workbook") return stream;
            return std::nullopt;
        });
        EXPECT_EQ(!plan.streams.empty(), c.blanked);
        EXPECT_EQ(plan.problems.empty(), c.blanked);
        if (!c.blanked) continue;
        // The name and the driver data, nothing else.
        Bytes after = stream;
        for (const storage::StreamPatch& patch : plan.streams[0].patches)
            std::copy(patch.bytes.begin(), patch.bytes.end(), after.begin() + static_cast<std::ptrdiff_t>(patch.offset));
        size_t changed = 0;
        for (size_t i = 0; i < stream.size(); ++i) changed += stream[i] != after[i];
        EXPECT_EQ(changed, std::u16string(u"Real Printer").size() + 8);
    }
}

}  // namespace
}  // namespace velmora::engine

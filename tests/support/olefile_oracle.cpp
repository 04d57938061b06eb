#include "support/olefile_oracle.h"

#include <cstdio>
#include <fstream>

namespace velmora::testing {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string ExpectationJson(const OracleExpectation& e) {
    std::string out = "{\"section\": " + Quoted(e.section);
    if (!e.name.empty())
        out += ", \"name\": " + Quoted(e.name);
    else
        out += ", \"pid\": " + std::to_string(e.pid);
    if (e.textHex) out += ", \"text_hex\": " + Quoted(*e.textHex);
    if (e.ticks) out += ", \"ticks\": " + std::to_string(*e.ticks);
    if (e.absent) out += ", \"absent\": true";
    return out + "}";
}

}  // namespace

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

::testing::AssertionResult OlefileOracle::verify(const std::filesystem::path& workFolder) const {
    const auto casesFile = workFolder / "oracle-cases.json";
    const auto reportFile = workFolder / "oracle-report.txt";
    {
        std::ofstream out(casesFile);
        out << "{\"cases\": [\n";
        for (size_t i = 0; i < cases_.size(); ++i) {
            const OracleCase& c = cases_[i];
            out << (i ? ",\n" : "") << "{\"name\": " << Quoted(c.name) << ", \"file\": " << Quoted(c.file.string())
                << ", \"original\": " << Quoted(c.original.string()) << ", \"stream\": "
                << (c.stream.empty() ? "null" : Quoted(c.stream)) << ", \"outcomes\": [";
            for (size_t o = 0; o < c.outcomes.size(); ++o) {
                out << (o ? ", " : "") << "[";
                for (size_t e = 0; e < c.outcomes[o].size(); ++e)
                    out << (e ? ", " : "") << ExpectationJson(c.outcomes[o][e]);
                out << "]";
            }
            out << "], \"same_stream_as\": [";
            for (size_t f = 0; f < c.sameStreamAs.size(); ++f) out << (f ? ", " : "") << Quoted(c.sameStreamAs[f].string());
            out << "], \"also_rewritten\": [";
            for (size_t r = 0; r < c.alsoRewritten.size(); ++r) out << (r ? ", " : "") << Quoted(c.alsoRewritten[r]);
            out << "], \"gone\": [";
            for (size_t g = 0; g < c.goneHex.size(); ++g) out << (g ? ", " : "") << Quoted(c.goneHex[g]);
            out << "]}";
        }
        out << "\n]}\n";
    }
    const std::string command = std::string(VELMORA_PYTHON) + " " + VELMORA_TEST_TOOLS_DIR "/olefile_oracle.py " +
                                casesFile.string() + " > " + reportFile.string() + " 2>&1";
    int status = std::system(command.c_str());
    std::ifstream in(reportFile);
    std::string report((std::istreambuf_iterator<char>(in)), {});
    if (status != 0) return ::testing::AssertionFailure() << "olefile oracle failed:\n" << report;
    return ::testing::AssertionSuccess() << report;
}

}  // namespace velmora::testing

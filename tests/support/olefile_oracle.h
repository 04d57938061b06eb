#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::testing {

// One thing a rewritten property-set stream must show.
struct OracleExpectation {
    std::string section;  // FMTID text, e.g. "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}"
    uint32_t pid = 0;
    std::optional<std::string> textHex;  // stored bytes, terminator excluded
    std::optional<uint64_t> ticks;
    bool absent = false;
    std::string name;  // with absent: a user-defined property name that must be gone
};

struct OracleCase {
    std::string name;
    std::filesystem::path file;
    std::filesystem::path original;
    std::string stream;  // UTF-8 name of the rewritten stream; empty when nothing may change
    std::vector<std::string> alsoRewritten;  // further rewritten streams (sameStreamAs applies to each)
    std::vector<std::vector<OracleExpectation>> outcomes;  // any one of them
    std::vector<std::filesystem::path> sameStreamAs;        // the stream equals one of theirs
    std::vector<std::string> goneHex;
};

// Collects cases and checks them all with olefile in one Python process
// (tests/tools/olefile_oracle.py): streams other than the rewritten one
// unchanged, the expected values present, old values gone from the file.
class OlefileOracle {
public:
    void add(OracleCase oracleCase) { cases_.push_back(std::move(oracleCase)); }
    size_t size() const { return cases_.size(); }
    ::testing::AssertionResult verify(const std::filesystem::path& workFolder) const;

private:
    std::vector<OracleCase> cases_;
};

std::string Hex(const std::string& bytes);

}  // namespace velmora::testing

#include "cli/shard.h"

#include <cstdlib>

#include "cli/command_line.h"

namespace velmora::cli {

uint64_t ShardHash(std::string_view bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool Shard::Holds(std::string_view pathBytes) const {
    return !Sharded() || ShardHash(pathBytes) % count == index - 1;
}

std::string Shard::Text() const { return std::to_string(index) + "/" + std::to_string(count); }

Shard ParseShard(const std::string& text) {
    const auto number = [&](const std::string& part, unsigned long& value) {
        if (part.empty() || part.size() > 7 || part.find_first_not_of("0123456789") != std::string::npos) return false;
        value = std::strtoul(part.c_str(), nullptr, 10);
        return true;
    };
    const size_t slash = text.find('/');
    unsigned long k = 0, n = 0;
    if (slash == std::string::npos || !number(text.substr(0, slash), k) || !number(text.substr(slash + 1), n) || k < 1 ||
        k > n || n > 1'000'000)
        throw UsageError("--shard needs K/N with 1 <= K <= N <= 1000000, not \"" + text + "\"");
    return Shard{static_cast<uint32_t>(k), static_cast<uint32_t>(n)};
}

}  // namespace velmora::cli

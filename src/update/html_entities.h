#pragma once

#include <cstddef>
#include <string_view>

namespace velmora::update {

// One named character reference of HTML: "amp;" stands for '&'. A few
// names stand for two characters; `second` is 0 for the others.
struct HtmlEntity {
    std::string_view name;  // with its ';' where HTML requires one
    char32_t first;
    char32_t second;
};

// The reference called exactly `name` ("hellip;", or "amp" for the old form
// without ';'); nullptr when HTML has none of that name.
const HtmlEntity* FindHtmlEntity(std::string_view name);

// Names are at most this long, ';' included.
inline constexpr std::size_t kHtmlEntityNameMax = 32;

}  // namespace velmora::update

#pragma once

// What-new pages for the page view's tests and its layout benchmark: pages a
// hostile update server may send (each within the 1 MiB text cap), and
// pages that reach every bound the reduction leaves, which are the slowest
// that the view can be given to lay out.

#include <ostream>
#include <string>
#include <vector>

namespace velmora::update::testing {

struct SamplePage {
    std::string name;
    std::string html;
    // Text the view must show, in this order.
    std::vector<std::string> texts;
};

inline void PrintTo(const SamplePage& page, std::ostream* out) { *out << page.name; }

// Pages that crashed or froze the view when it laid out whatever came.
std::vector<SamplePage> HostilePages();

// Pages whose reduction reaches the bounds: the deepest nesting, the most
// elements, the largest table and the longest words, each with about as
// much text as a page may keep.
std::vector<SamplePage> BoundPages();

}  // namespace velmora::update::testing

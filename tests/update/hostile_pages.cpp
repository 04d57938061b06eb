#include "hostile_pages.h"

#include "update/page_markup.h"

namespace velmora::update::testing {

namespace {

std::string Repeated(const std::string& piece, int count) {
    std::string all;
    all.reserve(piece.size() * std::size_t(count));
    for (int i = 0; i < count; ++i) all += piece;
    return all;
}

// Tables, each in the only cell of the one before, the text in the last.
std::string NestedTables(int depth) {
    return Repeated("<table><tr><td>", depth) + "deepest cell" + Repeated("</td></tr></table>", depth);
}

// A word of `length` letters, all the `index`th letter of the alphabet
// (counting round).
std::string Word(int index, int length) { return std::string(std::size_t(length), char('a' + index % 26)); }

// `length` characters of the longest words kept whole, a space apart.
std::string LongestWords(int index, int length) {
    std::string text;
    while (int(text.size()) + kPageWordMax < length) text += Word(index, kPageWordMax) + ' ';
    return text + Word(index, length - int(text.size()));
}

// What the pages with a table hold after it: lists nested as deep as
// allowed, a letter in each innermost item, up to the element bound.
constexpr int kListsText = 1000;
std::string ListsAfter(int elementsUsed) {
    const std::string group = Repeated("<ul><li>", kPageNestingMax / 2) + "x" + Repeated("</li></ul>", kPageNestingMax / 2);
    return Repeated(group, (kPageElementsMax - elementsUsed) / kPageNestingMax);
}

}  // namespace

std::vector<SamplePage> HostilePages() {
    std::vector<SamplePage> pages;
    // 99 KB: overflowed the stack when Qt laid it out as sent.
    pages.push_back({"ThreeThousandNestedTables", NestedTables(3000), {"deepest cell"}});
    // 1.7 KB: Qt laid it out for more than a minute.
    pages.push_back({"FiftyNestedTables", NestedTables(50), {"deepest cell"}});
    // Only start tags, as end tags would not fit in 1 MiB.
    pages.push_back(
        {"SeventyThousandNestedLists", Repeated("<div><ul><li>", 70000) + "deepest item", {"deepest item"}});
    std::string paragraphs;
    for (int i = 0; i < 100000; ++i) paragraphs += "<p>#" + std::to_string(i) + '.';
    pages.push_back({"HundredThousandParagraphs", paragraphs, {"#0.", "#1.", "#4999.", "\u2026"}});
    // Wrapped anywhere, one word of a megabyte took Qt 85 s.
    pages.push_back({"OneMegabyteWord", std::string(1000000, 'w'), {"www", "\u2026"}});
    // Each end tag that matches nothing open costs a tree-building parser a
    // search of its whole stack.
    pages.push_back({"UnmatchedEndTags", Repeated("<b>", 130000) + "bold" + Repeated("</i>", 130000) + "after",
                     {"bold", "after"}});
    // Hundreds of thousands of attributes on one tag.
    pages.push_back({"AttributeFlood", "<p " + Repeated("a ", 500000) + ">flooded", {"flooded"}});
    pages.push_back({"UnclosedComment", "visible<!--" + Repeated("-- >", 250000), {"visible"}});
    return pages;
}

std::vector<SamplePage> BoundPages() {
    std::vector<SamplePage> pages;

    // Lists nested as deep as allowed, over and over, the text spread over
    // the innermost items.
    {
        constexpr int kLevels = kPageNestingMax / 2;  // a list and its item per level
        constexpr int kGroups = kPageElementsMax / kPageNestingMax;
        const std::string open = Repeated("<ul><li>", kLevels), close = Repeated("</li></ul>", kLevels);
        std::string html;
        for (int i = 0; i < kGroups; ++i) html += open + Word(i, kPageTextMax / kGroups - 1) + close;
        pages.push_back({"DeepestNesting", html, {"aaa", "zzz"}});
    }
    // An element per line, the text spread over them.
    {
        std::string html;
        for (int i = 0; i < kPageElementsMax; ++i)
            html += "<p>" + Word(i, kPageTextMax / kPageElementsMax) + "</p>";
        pages.push_back({"MostElements", html, {"aaa", "zzz"}});
    }
    // One row of as many cells as the page may hold, in words as long as
    // are kept whole: the table's layout is the slowest by the cell.
    {
        std::string html = "<table><tr>";
        for (int i = 0; i < kPageTableCellsMax; ++i)
            html += "<td>" + LongestWords(i, (kPageTextMax - kListsText) / kPageTableCellsMax) + "</td>";
        html += "</tr></table>" + ListsAfter(kPageTableCellsMax + 2);
        pages.push_back({"LargestTable", html, {"aaa", "zzz", "x"}});
    }
    // Words ten times as long as the longest kept whole, in one row of
    // narrow cells: each is wrapped anywhere, nearly a letter a line.
    {
        constexpr int kWord = 10 * kPageWordMax;
        // A zero-width space follows every kPageWordMax letters.
        constexpr int kCells = (kPageTextMax - kListsText) / (kWord + kWord / kPageWordMax);
        std::string html = "<table><tr>";
        for (int i = 0; i < kCells; ++i) html += "<td>" + Word(i, kWord) + "</td>";
        html += "</tr></table>" + ListsAfter(kCells + 2);
        pages.push_back({"LongWordsInTable", html, {"aaa", "zzz", "x"}});
    }
    return pages;
}

}  // namespace velmora::update::testing

#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

namespace velmora::update {

// The bounds of a page that ReducePageMarkup gives. Qt lays rich text out
// synchronously, on the GUI thread, with no way to stop it, and its cost
// grows far faster than the markup's length: every table nested in another
// doubles it (16 deep: 0.57 s, 20 deep: 10 s), 3,000 overflowed the stack.
// These bounds are what keeps every page fast; bench/README.md has the time
// of the slowest page they allow.
inline constexpr int kPageNestingMax = 8;       // elements open at once (a line break holds none)
inline constexpr int kPageElementsMax = 5000;   // elements written, line breaks and table rows included
inline constexpr int kPageTableCellsMax = 250;  // table cells on the whole page
inline constexpr int kPageTextMax = 30000;      // characters of text, spaces included
// Qt wraps a word too long for its line by searching the rest of the word
// again for every line it fills: a 40,000-letter word took 0.2 s, 49 table
// cells of 1,000 letters each 0.33 s. A zero-width space (a place to wrap,
// unseen) goes after this many characters of one word.
inline constexpr int kPageWordMax = 100;

// The what's-new page as the page view may show it: the server's HTML
// reduced to paragraphs, headings (h1-h6), lists (ul, ol, li), emphasis
// (em, strong, b, i), line breaks, links and simple tables (table, tr, td,
// th), written again without attributes. Everything else becomes its text:
// a block element (div, blockquote, pre, ...) gives a line break, a
// picture its alternative text; script, style and the title are dropped
// with their content, as are comments. A link is kept when `pageAddress`
// resolves its href to an http or https address, and points there.
//
// A table inside a table is flattened to its text (a line per row); so is
// every table once the page holds kPageTableCellsMax cells. An element that
// would open below kPageNestingMax others becomes its text. Once the page
// holds kPageElementsMax elements or kPageTextMax characters the rest is
// dropped and the page ends with "…". Whitespace is folded as HTML folds
// it; pre's line ends become line breaks.
//
// Runs in time proportional to the page's length, with nothing recursive.
QString ReducePageMarkup(QStringView page, const QUrl& pageAddress);

}  // namespace velmora::update

#include "update/page_markup.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "update/html_tokenizer.h"
#include "update/update_address.h"

// Why a tokenizer of our own: the page must be read in time and memory that
// grow with its length only. libxml2's HTML parser (Debian 12: 2.9.14) builds
// the element tree's stack itself, and each end tag that matches no open
// element searches that whole stack: 100,000 "<b>" followed by 100,000
// "</i>" (700 KB) took it 14 s before a single element reached us. Qt's own
// HTML reader is what must be protected, and the widget library's markup
// parser reads no character references, comments or raw text. HTML's
// tokenizing rules need no stack at all; the one stack here holds only what
// we write, at most kPageNestingMax elements.

namespace velmora::update {

namespace {

enum class Kept : std::uint8_t { P, H1, H2, H3, H4, H5, H6, Ul, Ol, Li, Em, Strong, B, I, A, Br, Table, Tr, Td, Th };

struct KeptName {
    const char16_t* name;
    Kept kind;
};

constexpr KeptName kKeptNames[] = {
    {u"p", Kept::P},
    {u"h1", Kept::H1}, {u"h2", Kept::H2}, {u"h3", Kept::H3}, {u"h4", Kept::H4}, {u"h5", Kept::H5}, {u"h6", Kept::H6},
    {u"ul", Kept::Ul}, {u"ol", Kept::Ol}, {u"li", Kept::Li},
    {u"em", Kept::Em}, {u"strong", Kept::Strong}, {u"b", Kept::B}, {u"i", Kept::I}, {u"a", Kept::A},
    {u"br", Kept::Br},
    {u"table", Kept::Table}, {u"tr", Kept::Tr}, {u"td", Kept::Td}, {u"th", Kept::Th},
};

std::optional<Kept> KeptKind(QStringView name) {
    for (const KeptName& kept : kKeptNames)
        if (name == kept.name) return kept.kind;
    return std::nullopt;
}

QStringView NameOf(Kept kind) {
    for (const KeptName& kept : kKeptNames)
        if (kept.kind == kind) return kept.name;
    return {};
}

bool IsHeading(Kept kind) { return kind >= Kept::H1 && kind <= Kept::H6; }
bool IsInline(Kept kind) { return kind >= Kept::Em && kind <= Kept::A; }

// Dropped elements that a browser shows as blocks of their own: their text
// keeps a line of its own here too, instead of running into its neighbours.
bool IsDroppedBlock(QStringView name) {
    static const char16_t* const kNames[] = {
        u"address", u"article", u"aside", u"blockquote", u"caption", u"center", u"dd", u"details", u"dialog",
        u"dir", u"div", u"dl", u"dt", u"fieldset", u"figcaption", u"figure", u"footer", u"form", u"header",
        u"hgroup", u"hr", u"legend", u"main", u"menu", u"nav", u"section", u"summary", u"xmp", u"plaintext",
    };
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char16_t* block) { return name == block; });
}

// The raw-text elements whose content a browser shows.
bool ShowsRawText(QStringView element) {
    return element == u"xmp" || element == u"textarea" || element == u"plaintext";
}

bool IsHtmlSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r'; }

// Where a link leads: the page's own address resolves it, as a browser
// would, and only a web address is kept. Empty when the link is dropped.
QString LinkTarget(const QUrl& pageAddress, const QString& href) {
    if (href.isNull()) return QString();
    // A browser strips a URL's surrounding spaces and controls and drops
    // tabs and line ends inside it.
    QString cleaned;
    for (QChar c : href)
        if (c != u'\t' && c != u'\n' && c != u'\r') cleaned += c;
    qsizetype first = 0, last = cleaned.size();
    while (first < last && cleaned[first].unicode() <= 0x20) ++first;
    while (last > first && cleaned[last - 1].unicode() <= 0x20) --last;
    const QUrl target = pageAddress.resolved(QUrl(cleaned.sliced(first, last - first)));
    const QString text = target.toString(QUrl::FullyEncoded);
    return IsWebAddress(text) ? text : QString();
}

// A table's own attributes, not the page's: a grid that reads as one.
constexpr char16_t kTableTag[] = u"<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">";
constexpr char16_t kZeroWidthSpace = 0x200B;
constexpr char16_t kEllipsis = 0x2026;

class PageReducer {
public:
    explicit PageReducer(const QUrl& pageAddress) : pageAddress_(pageAddress) { open_.reserve(kPageNestingMax); }

    QString Reduce(QStringView page) {
        HtmlTokenizer tokenizer(page);
        for (HtmlToken token = tokenizer.Next(); !done_ && token.kind != HtmlToken::Kind::End;
             token = tokenizer.Next()) {
            // Only a line end right after pre's (or textarea's) start tag is dropped.
            const bool skipLineEnd = std::exchange(skipLineEnd_, false);
            QStringView text = token.text;
            if (skipLineEnd && text.startsWith(u'\n')) text = text.sliced(1);
            switch (token.kind) {
                case HtmlToken::Kind::StartTag: startTag(token); break;
                case HtmlToken::Kind::EndTag: endTag(token.name); break;
                case HtmlToken::Kind::Text: addText(text, preDepth_ > 0); break;
                case HtmlToken::Kind::RawText:
                    if (ShowsRawText(token.name)) addText(text, true);
                    break;
                case HtmlToken::Kind::End: break;
            }
        }
        if (!done_) closeTo(0);
        return std::move(out_);
    }

private:
    void startTag(const HtmlToken& token) {
        const QString& name = token.name;
        if (const std::optional<Kept> kind = KeptKind(name)) {
            startKept(*kind, token);
        } else if (name == u"pre" || name == u"listing") {
            ++preDepth_;
            skipLineEnd_ = true;
            breakPending_ = true;
        } else if (name == u"textarea") {
            skipLineEnd_ = true;
        } else if (name == u"img") {
            addText(token.Attribute(u"alt"), false);
        } else if (IsDroppedBlock(name)) {
            breakPending_ = true;
        }
    }

    void endTag(const QString& name) {
        if (const std::optional<Kept> kind = KeptKind(name)) {
            endKept(*kind);
        } else if (name == u"pre" || name == u"listing") {
            if (preDepth_ > 0) --preDepth_;
            breakPending_ = true;
        } else if (IsDroppedBlock(name)) {
            breakPending_ = true;
        }
    }

    void startKept(Kept kind, const HtmlToken& token) {
        switch (kind) {
            case Kept::Br: lineBreak(); return;
            case Kept::Table: startTable(); return;
            case Kept::Tr: startRow(); return;
            case Kept::Td:
            case Kept::Th: startCell(kind); return;
            case Kept::A: {
                const QString target = LinkTarget(pageAddress_, token.Attribute(u"href"));
                if (target.isEmpty()) return;
                // Links do not nest: a new one ends the last.
                closeTo(find({Kept::A}, {Kept::Table, Kept::Td, Kept::Th}));
                open(kind, QStringLiteral("<a href=\"%1\">").arg(target.toHtmlEscaped()));
                return;
            }
            case Kept::Li:
                // An item of a list written as text must not end the item
                // that holds that list.
                if (droppedLists_ > 0) {
                    breakPending_ = true;
                    return;
                }
                closeTo(find({Kept::Li}, {Kept::Ul, Kept::Ol, Kept::Table, Kept::Td, Kept::Th}));
                closeParagraph();
                if (open_.empty() || (open_.back() != Kept::Ul && open_.back() != Kept::Ol)) {
                    breakPending_ = true;  // an item outside a list is a line of text
                    return;
                }
                break;
            case Kept::H1:
            case Kept::H2:
            case Kept::H3:
            case Kept::H4:
            case Kept::H5:
            case Kept::H6:
                closeParagraph();
                if (!open_.empty() && IsHeading(open_.back())) closeTo(open_.size() - 1);
                break;
            case Kept::P:
            case Kept::Ul:
            case Kept::Ol: closeParagraph(); break;
            case Kept::Em:
            case Kept::Strong:
            case Kept::B:
            case Kept::I: break;
        }
        open(kind, QStringLiteral("<%1>").arg(NameOf(kind)));
    }

    void endKept(Kept kind) {
        static constexpr std::initializer_list<Kept> kCellBounds = {Kept::Table, Kept::Td, Kept::Th};
        switch (kind) {
            case Kept::Br: lineBreak(); return;  // browsers read "</br>" as "<br>"
            case Kept::Table:
                if (flattenedTables_ > 0) {
                    --flattenedTables_;
                    breakPending_ = true;
                } else {
                    closeTo(find({Kept::Table}, {}));
                }
                return;
            case Kept::Tr:
            case Kept::Td:
            case Kept::Th:
                if (flattenedTables_ > 0 || !tableOpen()) {
                    if (kind == Kept::Tr) {
                        breakPending_ = true;
                    } else {
                        wordBreak();
                    }
                } else {
                    closeTo(find({kind}, {Kept::Table}));
                }
                return;
            case Kept::H1:
            case Kept::H2:
            case Kept::H3:
            case Kept::H4:
            case Kept::H5:
            case Kept::H6:
                // Any heading's end tag ends the open heading, as in browsers.
                closeOrBreak(find({Kept::H1, Kept::H2, Kept::H3, Kept::H4, Kept::H5, Kept::H6}, kCellBounds));
                return;
            case Kept::Li:
                if (droppedLists_ > 0) {
                    breakPending_ = true;
                } else {
                    closeOrBreak(find({Kept::Li}, {Kept::Ul, Kept::Ol, Kept::Table, Kept::Td, Kept::Th}));
                }
                return;
            case Kept::Ul:
            case Kept::Ol:
                if (droppedLists_ > 0) {
                    --droppedLists_;
                    breakPending_ = true;
                } else {
                    closeOrBreak(find({kind}, kCellBounds));
                }
                return;
            case Kept::P: closeOrBreak(find({kind}, kCellBounds)); return;
            case Kept::Em:
            case Kept::Strong:
            case Kept::B:
            case Kept::I:
            case Kept::A: closeTo(find({kind}, kCellBounds)); return;
        }
    }

    void startTable() {
        if (flattenedTables_ > 0 || tableOpen()) {
            ++flattenedTables_;
            breakPending_ = true;
            return;
        }
        closeParagraph();
        // A table needs room for itself, a row and a cell.
        if (cells_ >= kPageTableCellsMax || open_.size() + 3 > std::size_t(kPageNestingMax)) {
            ++flattenedTables_;
            breakPending_ = true;
            return;
        }
        if (!countElements(1)) return;
        out_ += kTableTag;
        open_.push_back(Kept::Table);
        resetLine();
    }

    void startRow() {
        if (flattenedTables_ > 0 || !tableOpen()) {
            breakPending_ = true;
            return;
        }
        closeTo(find({Kept::Table}, {}) + 1);
        if (!countElements(1)) return;
        out_ += u"<tr>";
        open_.push_back(Kept::Tr);
        resetLine();
    }

    void startCell(Kept kind) {
        if (flattenedTables_ > 0 || !tableOpen()) {
            wordBreak();  // the cells of a flattened table stay words apart
            return;
        }
        std::size_t keep = open_.size();
        while (open_[keep - 1] != Kept::Tr && open_[keep - 1] != Kept::Table) --keep;
        closeTo(keep);
        openCell(kind);
    }

    // With a row or the table on top: opens a cell (and its row when none
    // is open). Once the page holds its last cell, the table ends instead
    // and the rest of it is flattened. False once the page is full.
    bool openCell(Kept kind) {
        if (cells_ >= kPageTableCellsMax) {
            closeTo(find({Kept::Table}, {}));
            ++flattenedTables_;
            breakPending_ = true;
            return true;
        }
        const bool withRow = open_.back() == Kept::Table;
        if (!countElements(withRow ? 2 : 1)) return false;
        if (withRow) {
            out_ += u"<tr>";
            open_.push_back(Kept::Tr);
        }
        out_ += kind == Kept::Th ? u"<th>" : u"<td>";
        open_.push_back(kind);
        ++cells_;
        resetLine();
        return true;
    }

    // Text and elements never stand in a table between its cells: there a
    // cell is opened for them, as a browser would show them in one.
    bool enterContent() {
        if (open_.empty() || (open_.back() != Kept::Table && open_.back() != Kept::Tr)) return !done_;
        return openCell(Kept::Td);
    }

    void open(Kept kind, const QString& tag) {
        if (!enterContent()) return;
        if (open_.size() >= std::size_t(kPageNestingMax)) {
            if (!IsInline(kind)) breakPending_ = true;
            if (kind == Kept::Ul || kind == Kept::Ol) ++droppedLists_;
            return;
        }
        // The space before a link belongs outside it.
        if (IsInline(kind) && !flushPending()) return;
        if (!countElements(1)) return;
        out_ += tag;
        open_.push_back(kind);
        if (!IsInline(kind)) resetLine();
    }

    void lineBreak() {
        if (!enterContent() || !countElements(1)) return;
        out_ += u"<br>";
        resetLine();
    }

    void addText(QStringView text, bool preformatted) {
        for (qsizetype i = 0; i < text.size() && !done_; ++i) {
            const QChar c = text[i];
            if (IsHtmlSpace(c)) {
                // Between a table's cells a line end is only space.
                const bool betweenCells = !open_.empty() && (open_.back() == Kept::Table || open_.back() == Kept::Tr);
                if (preformatted && c == u'\n' && !betweenCells) {
                    lineBreak();
                } else {
                    wordBreak();
                }
                continue;
            }
            if (!enterContent() || !flushPending()) return;
            if (wordLength_ >= kPageWordMax) {
                if (!appendCharacter(QStringView(&kZeroWidthSpace, 1))) return;
                wordLength_ = 0;
            }
            const qsizetype length = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            if (!appendCharacter(text.sliced(i, length))) return;
            i += length - 1;
            ++wordLength_;
            lineHasText_ = true;
        }
    }

    // Writes the line break or the space that waits for what follows.
    // False once the page is full.
    bool flushPending() {
        if (std::exchange(breakPending_, false) && lineHasText_) lineBreak();
        if (std::exchange(spacePending_, false) && lineHasText_) appendCharacter(u" ");
        return !done_;
    }

    // One character (a surrogate pair is one), escaped. False once the
    // page is full.
    bool appendCharacter(QStringView character) {
        if (done_) return false;
        if (textLength_ >= kPageTextMax) {
            finish();
            return false;
        }
        ++textLength_;
        if (character == u"<") {
            out_ += u"&lt;";
        } else if (character == u">") {
            out_ += u"&gt;";
        } else if (character == u"&") {
            out_ += u"&amp;";
        } else {
            out_ += character;
        }
        return true;
    }

    bool countElements(int count) {
        if (done_) return false;
        if (elements_ + count > kPageElementsMax) {
            finish();
            return false;
        }
        elements_ += count;
        return true;
    }

    void finish() {
        closeTo(0);
        out_ += kEllipsis;
        done_ = true;
    }

    // The index of the topmost open element of one of `kinds`, searched
    // down to the first of `bounds`; the stack's size when there is none.
    std::size_t find(std::initializer_list<Kept> kinds, std::initializer_list<Kept> bounds) const {
        for (std::size_t at = open_.size(); at-- > 0;) {
            if (std::find(kinds.begin(), kinds.end(), open_[at]) != kinds.end()) return at;
            if (std::find(bounds.begin(), bounds.end(), open_[at]) != bounds.end()) break;
        }
        return open_.size();
    }

    bool tableOpen() const { return std::find(open_.begin(), open_.end(), Kept::Table) != open_.end(); }

    void closeParagraph() { closeTo(find({Kept::P}, {Kept::Table, Kept::Td, Kept::Th})); }

    // An end tag with nothing open to end: the element it ends was written
    // as text (or never opened), and its end still ends a line.
    void closeOrBreak(std::size_t at) {
        if (at == open_.size()) {
            breakPending_ = true;
        } else {
            closeTo(at);
        }
    }

    // Ends the open elements from the top down to (and with) `size`'s.
    void closeTo(std::size_t size) {
        while (open_.size() > size) {
            const Kept kind = open_.back();
            open_.pop_back();
            out_ += u"</";
            out_ += NameOf(kind);
            out_ += u'>';
            if (!IsInline(kind)) resetLine();
        }
    }

    void wordBreak() {
        spacePending_ = true;
        wordLength_ = 0;
    }

    void resetLine() {
        lineHasText_ = false;
        breakPending_ = false;
        spacePending_ = false;
        wordLength_ = 0;
    }

    const QUrl pageAddress_;
    QString out_;
    std::vector<Kept> open_;
    int elements_ = 0;
    int cells_ = 0;
    int textLength_ = 0;
    // Tables being flattened (nested, or past the last cell), so that their
    // rows and cells do not reach the table that is kept.
    int flattenedTables_ = 0;
    // Lists written as text (too deep), so that their items and ends do
    // not reach the lists that are kept.
    int droppedLists_ = 0;
    int preDepth_ = 0;
    bool skipLineEnd_ = false;
    bool lineHasText_ = false;
    bool breakPending_ = false;
    bool spacePending_ = false;
    int wordLength_ = 0;
    bool done_ = false;
};

}  // namespace

QString ReducePageMarkup(QStringView page, const QUrl& pageAddress) { return PageReducer(pageAddress).Reduce(page); }

}  // namespace velmora::update

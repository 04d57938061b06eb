#pragma once

#include <cstddef>
#include <vector>

#include <QString>
#include <QStringView>

namespace velmora::update {

struct HtmlAttribute {
    QString name;   // lower-case
    QString value;  // character references decoded
};

// No page needs more on one tag; a page with hundreds of thousands would
// otherwise cost a string each.
inline constexpr std::size_t kHtmlAttributesMax = 256;

// One piece of an HTML page as HTML's tokenizer cuts it.
struct HtmlToken {
    enum class Kind {
        StartTag,
        EndTag,
        Text,     // text between tags, character references decoded
        RawText,  // the whole content of a raw-text element (see HtmlTokenizer)
        End,
    };
    Kind kind = Kind::End;
    // Tags: the lower-case tag name. RawText: the element that holds it.
    QString name;
    // Start tags only, in page order, repeated names included; at most
    // kHtmlAttributesMax (the rest are read and dropped).
    std::vector<HtmlAttribute> attributes;
    QString text;

    // The value of the first attribute called `attribute`; null when none is.
    QString Attribute(QStringView attribute) const;
};

// Cuts a page into tags and text by HTML's tokenizing rules, one token at a
// time and in one pass: no tree is built and nothing is held open, so the
// time and memory it takes grow with the page's length only, whatever its
// nesting. What it skips: comments, doctypes, processing instructions,
// CDATA sections, a tag that the page ends inside of, and NUL characters in
// text. Line ends (CR LF, CR) read as LF.
//
// Raw-text elements are recognised by name, as a browser does: the content
// of script, style, xmp, iframe, noembed, noframes, title and textarea runs
// to the next end tag of the same name (plaintext: to the end of the page)
// and comes as one RawText token, references decoded in title and textarea
// only. A script's content ends at its first "</script", without the
// comment-escaping of real scripts: the content is never run, only skipped.
class HtmlTokenizer {
public:
    // `page` must outlive the tokenizer.
    explicit HtmlTokenizer(QStringView page) : page_(page) {}

    // The next token; Kind::End at the end of the page, and ever after.
    HtmlToken Next();

private:
    enum class ReferenceContext { Text, Attribute };

    bool startsMarkup(qsizetype at) const;
    // At '<': reads one piece of markup into `token`; false when the markup
    // was one that yields no token (a comment, or an end tag such as "</>").
    bool readMarkup(HtmlToken& token);
    // After "<" or "</": false when the page ends inside the tag.
    bool readTag(HtmlToken& token, bool endTag);
    QString readTagName();
    bool readAttributes(HtmlToken& token, bool keep);
    QString readAttributeValue();
    void skipComment();
    void skipTo(QChar stop);
    // Both false when they found no character to give.
    bool readText(HtmlToken& token);
    bool readRawText(HtmlToken& token);
    // At '&': appends the character(s) a reference stands for, or the '&'
    // itself when it starts none, and moves past what it read.
    void readReference(QString& out, ReferenceContext context);
    // Appends page_[pos_], reading a CR (and the LF after it) as one LF.
    void appendCharacter(QString& out);

    QStringView page_;
    qsizetype pos_ = 0;
    // The raw-text element whose content comes next, if any.
    QString rawElement_;
};

// Appends one Unicode character, as a surrogate pair when it needs one.
void AppendCodePoint(QString& out, char32_t codePoint);

}  // namespace velmora::update

#include "engine/summary_properties.h"

#include <stdexcept>
#include <vector>

#include "storage/property_value.h"

namespace velmora::engine {

namespace {

namespace vt = storage::vt;
constexpr size_t SI = 0;
constexpr size_t DSI = 1;

SummaryProperty Text(size_t set, uint32_t pid, const char* name, std::u16string TSummaryInfo::*field,
                     const char16_t* userDefinedName = nullptr) {
    SummaryProperty p{set, pid, name, vt::LPStr, FieldKind::Text};
    p.text = field;
    p.userDefinedName = userDefinedName;
    return p;
}
SummaryProperty Date(uint32_t pid, const char* name, TDateTime TSummaryInfo::*field, FieldKind kind = FieldKind::Date) {
    SummaryProperty p{SI, pid, name, vt::FileTime, kind};
    p.date = field;
    return p;
}
SummaryProperty Count(size_t set, uint32_t pid, const char* name, int32_t TSummaryInfo::*field) {
    SummaryProperty p{set, pid, name, vt::I4, FieldKind::Count};
    p.count = field;
    return p;
}
SummaryProperty Word(size_t set, uint32_t pid, const char* name, uint16_t TSummaryInfo::*field, uint16_t type = vt::I4) {
    SummaryProperty p{set, pid, name, type, FieldKind::Word};
    p.word = field;
    return p;
}
SummaryProperty Pair(uint32_t pid, const char* name, TCountAndReference TSummaryInfo::*field, uint16_t type,
                     const char16_t* userDefinedName = nullptr) {
    SummaryProperty p{DSI, pid, name, type, FieldKind::CountAndReference};
    p.pair = field;
    p.userDefinedName = userDefinedName;
    return p;
}

std::vector<SummaryProperty> BuildTable() {
    using S = TSummaryInfo;
    SummaryProperty thumbnail{SI, 17, "Thumbnail", vt::ClipboardData, FieldKind::Reference};
    thumbnail.reference = &S::Thumbnail;
    const uint16_t variantVector = vt::Vector | vt::Variant;
    return {
        Text(SI, 2, "Title", &S::Title),
        Text(SI, 3, "Subject", &S::Subject),
        Text(SI, 4, "Author", &S::Author),
        Text(SI, 5, "Keywords", &S::Keywords),
        Text(SI, 6, "Comments", &S::Comments),
        Text(SI, 7, "Template", &S::Template),
        Text(SI, 8, "LastAuthor", &S::LastAuthor),
        Text(SI, 9, "RevNumber", &S::RevNumber),
        Date(10, "EditTime", &S::EditTime, FieldKind::EditTime),
        Date(11, "LastPrinted", &S::LastPrinted),
        Date(12, "Created", &S::Created),
        Date(13, "LastSaved", &S::LastSaved),
        Count(SI, 14, "PageCount", &S::PageCount),
        Count(SI, 15, "WordCount", &S::WordCount),
        Count(SI, 16, "CharCount", &S::CharCount),
        thumbnail,
        Text(SI, 18, "AppName", &S::AppName),
        Word(SI, 19, "Security", &S::Security),
        Text(DSI, 2, "Category", &S::Category, u"Category"),
        Text(DSI, 3, "PresentationTarget", &S::PresentationTarget),
        Count(DSI, 4, "ByteCount", &S::ByteCount),
        Count(DSI, 5, "LineCount", &S::LineCount),
        Count(DSI, 6, "ParagraphCount", &S::ParagraphCount),
        Count(DSI, 7, "SlideCount", &S::SlideCount),
        Count(DSI, 8, "NoteCount", &S::NoteCount),
        Count(DSI, 9, "HiddenSlideCount", &S::HiddenSlideCount),
        Count(DSI, 10, "MMClipCount", &S::MMClipCount),
        Word(DSI, 11, "Scale", &S::Scale, vt::Bool),
        Pair(12, "HeadingPairs", &S::HeadingPairs, variantVector),
        Pair(13, "TitlesOfParts", &S::TitlesOfParts, vt::Vector | vt::LPStr),
        Text(DSI, 14, "Manager", &S::Manager, u"Manager"),
        Text(DSI, 15, "Company", &S::Company, u"Company"),
        Word(DSI, 16, "LinksDirty", &S::LinksDirty, vt::Bool),
        Count(DSI, 17, "CharCountWithSpaces", &S::CharCountWithSpaces),
        Text(DSI, 18, "Guid", &S::Guid, u"_PID_GUID"),
        Word(DSI, 19, "SharedDocument", &S::SharedDocument, vt::Bool),
        Text(DSI, 20, "LinkBase", &S::LinkBase),
        Pair(21, "HLinks", &S::HLinks, variantVector, u"_PID_HLINKS"),
        Word(DSI, 22, "HLinksChanged", &S::HLinksChanged, vt::Bool),
        Word(DSI, 23, "Version", &S::Version),
        Pair(24, "DigSig", &S::DigSig, vt::Blob),
    };
}

}  // namespace

const std::vector<SummaryProperty>& SummaryProperties() {
    static const std::vector<SummaryProperty> table = BuildTable();
    return table;
}

const SummaryProperty* FindSummaryProperty(size_t setIndex, uint32_t pid) {
    for (const auto& property : SummaryProperties())
        if (property.setIndex == setIndex && property.pid == pid) return &property;
    return nullptr;
}

const SummaryProperty& SummaryPropertyNamed(std::string_view fieldName) {
    for (const auto& property : SummaryProperties())
        if (fieldName == property.fieldName) return property;
    throw std::logic_error("no summary property named " + std::string(fieldName));
}

}  // namespace velmora::engine

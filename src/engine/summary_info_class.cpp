#include "engine/summary_info_class.h"

#include "engine/date_time_conversions.h"
#include "engine/property_writer.h"
#include "engine/summary_reader.h"
#include "storage/property_value.h"
#include "storage/storage_error.h"

namespace velmora::engine {

namespace {

namespace ids = storage::format_ids;

const storage::FormatId& SetOf(size_t setIndex) {
    return setIndex == 0 ? ids::SummaryInformation : ids::DocSummaryInformation;
}

}  // namespace

TSummaryInfoClass::TSummaryInfoClass(std::filesystem::path docPath) : docPath_(std::move(docPath)) {
    ReadOutcome outcome = ReadSummaryInfoWithOutcome(docPath_, cache_);
    if (!outcome.ok && outcome.refusal != storage::Refusal::NoPropertySets)
        throw storage::StorageError(outcome.code, outcome.refusal, outcome.message);
}

void TSummaryInfoClass::setText(std::u16string TSummaryInfo::*field, size_t setIndex, uint32_t pid,
                                const std::u16string& value) {
    if (cache_.*field == value) return;
    cache_.*field = value;
    PropVariant variant;
    variant.vt = storage::vt::LPStr;
    variant.text = value;
    WriteProperty(docPath_, SetOf(setIndex), pid, variant);
}

void TSummaryInfoClass::setDate(TDateTime TSummaryInfo::*field, uint32_t pid, TDateTime value, TFileTime fileTime) {
    if (cache_.*field == value) return;
    cache_.*field = value;
    PropVariant variant;
    variant.vt = storage::vt::FileTime;
    variant.fileTime = fileTime;
    WriteProperty(docPath_, ids::SummaryInformation, pid, variant);
}

void TSummaryInfoClass::SetTitle(const std::u16string& value) { setText(&TSummaryInfo::Title, 0, 2, value); }
void TSummaryInfoClass::SetSubject(const std::u16string& value) { setText(&TSummaryInfo::Subject, 0, 3, value); }
void TSummaryInfoClass::SetAuthor(const std::u16string& value) { setText(&TSummaryInfo::Author, 0, 4, value); }
void TSummaryInfoClass::SetKeywords(const std::u16string& value) { setText(&TSummaryInfo::Keywords, 0, 5, value); }
void TSummaryInfoClass::SetComments(const std::u16string& value) { setText(&TSummaryInfo::Comments, 0, 6, value); }
void TSummaryInfoClass::SetTemplate(const std::u16string& value) { setText(&TSummaryInfo::Template, 0, 7, value); }
void TSummaryInfoClass::SetLastAuthor(const std::u16string& value) { setText(&TSummaryInfo::LastAuthor, 0, 8, value); }
void TSummaryInfoClass::SetRevNumber(const std::u16string& value) { setText(&TSummaryInfo::RevNumber, 0, 9, value); }
void TSummaryInfoClass::SetCompany(const std::u16string& value) { setText(&TSummaryInfo::Company, 1, 15, value); }

void TSummaryInfoClass::SetEditTime(TDateTime value) {
    setDate(&TSummaryInfo::EditTime, 10, value, EditTimeToFileTime(value));
}

namespace {
// A cleared date is the zero date-time in every zone, never shifted by ours.
TFileTime DateToFileTime(TDateTime value) {
    return value == 0.0 ? static_cast<TFileTime>(kTicksAtDateTimeZero) : DateTimeToFileTime(value);
}
}  // namespace

void TSummaryInfoClass::SetLastPrinted(TDateTime value) {
    setDate(&TSummaryInfo::LastPrinted, 11, value, DateToFileTime(value));
}
void TSummaryInfoClass::SetCreated(TDateTime value) { setDate(&TSummaryInfo::Created, 12, value, DateToFileTime(value)); }
void TSummaryInfoClass::SetLastSaved(TDateTime value) {
    setDate(&TSummaryInfo::LastSaved, 13, value, DateToFileTime(value));
}

void TSummaryInfoClass::RemoveGuid() { DeleteProperty(docPath_, ids::DocSummaryInformation, 18, u"_PID_GUID"); }
void TSummaryInfoClass::RemoveHLinks() { DeleteProperty(docPath_, ids::DocSummaryInformation, 21, u"_PID_HLINKS"); }

}  // namespace velmora::engine

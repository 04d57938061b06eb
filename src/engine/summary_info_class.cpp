#include "engine/summary_info_class.h"

#include "engine/date_time_conversions.h"
#include "engine/free_space.h"
#include "engine/last_saver_blanking.h"
#include "engine/revision_log_blanking.h"
#include "engine/property_change.h"
#include "engine/property_writer.h"
#include "engine/summary_reader.h"
#include "storage/storage_error.h"

namespace velmora::engine {

TSummaryInfoClass::TSummaryInfoClass(std::filesystem::path docPath) : docPath_(std::move(docPath)) {
    ReadOutcome outcome = ReadSummaryInfoWithOutcome(docPath_, cache_);
    if (!outcome.ok && outcome.refusal != storage::Refusal::NoPropertySets)
        throw storage::StorageError(outcome.code, outcome.refusal, outcome.message);
    inexact_ = std::move(outcome.inexact);
}

void TSummaryInfoClass::setText(const char* field, const std::u16string& value) {
    const SummaryProperty& property = SummaryPropertyNamed(field);
    if (cache_.*property.text == value && !inexact_.count(&property)) return;
    cache_.*property.text = value;
    const PropertyChange change = PropertyChange::Text(property, value);
    ApplyChanges(docPath_, std::span(&change, 1));
    inexact_.erase(&property);
}

void TSummaryInfoClass::setDate(const char* field, TDateTime value, TFileTime fileTime, bool clearsDate) {
    const SummaryProperty& property = SummaryPropertyNamed(field);
    if (cache_.*property.date == value && !inexact_.count(&property)) return;
    cache_.*property.date = value;
    const PropertyChange change = PropertyChange::Date(property, fileTime, clearsDate);
    ApplyChanges(docPath_, std::span(&change, 1));
    inexact_.erase(&property);
}

void TSummaryInfoClass::SetTitle(const std::u16string& value) { setText("Title", value); }
void TSummaryInfoClass::SetSubject(const std::u16string& value) { setText("Subject", value); }
void TSummaryInfoClass::SetAuthor(const std::u16string& value) { setText("Author", value); }
void TSummaryInfoClass::SetKeywords(const std::u16string& value) { setText("Keywords", value); }
void TSummaryInfoClass::SetComments(const std::u16string& value) { setText("Comments", value); }
void TSummaryInfoClass::SetTemplate(const std::u16string& value) { setText("Template", value); }
void TSummaryInfoClass::SetLastAuthor(const std::u16string& value) { setText("LastAuthor", value); }
void TSummaryInfoClass::SetRevNumber(const std::u16string& value) { setText("RevNumber", value); }
void TSummaryInfoClass::SetCompany(const std::u16string& value) { setText("Company", value); }

void TSummaryInfoClass::SetEditTime(TDateTime value) { setDate("EditTime", value, EditTimeToFileTime(value), false); }

namespace {
// A cleared date is the zero date-time in every zone, never shifted by ours.
TFileTime DateToFileTime(TDateTime value) {
    return value == 0.0 ? static_cast<TFileTime>(kTicksAtDateTimeZero) : DateTimeToFileTime(value);
}
}  // namespace

void TSummaryInfoClass::SetLastPrinted(TDateTime value) {
    setDate("LastPrinted", value, DateToFileTime(value), value == 0.0);
}
void TSummaryInfoClass::SetCreated(TDateTime value) { setDate("Created", value, DateToFileTime(value), value == 0.0); }
void TSummaryInfoClass::SetLastSaved(TDateTime value) {
    setDate("LastSaved", value, DateToFileTime(value), value == 0.0);
}

void TSummaryInfoClass::ClearLastSaverNames() { BlankLastSaverNames(docPath_); }
void TSummaryInfoClass::RemoveRevisionLog() { BlankRevisionLogNames(docPath_); }

void TSummaryInfoClass::RemoveThumbnail() {
    const PropertyChange change = PropertyChange::Removal(SummaryPropertyNamed("Thumbnail"));
    ApplyChanges(docPath_, std::span(&change, 1));
}

void TSummaryInfoClass::ZeroFreeSpace() { engine::ZeroFreeSpace(docPath_); }

void TSummaryInfoClass::RemoveGuid() {
    const PropertyChange change = PropertyChange::Removal(SummaryPropertyNamed("Guid"));
    ApplyChanges(docPath_, std::span(&change, 1));
}

void TSummaryInfoClass::RemoveHLinks() {
    const PropertyChange change = PropertyChange::Removal(SummaryPropertyNamed("HLinks"));
    ApplyChanges(docPath_, std::span(&change, 1));
}

}  // namespace velmora::engine

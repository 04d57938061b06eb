#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "engine/date_time_conversions.h"
#include "engine/summary_info.h"
#include "engine/summary_properties.h"

namespace velmora::engine {

// The zero duration of the editing-time convention (1 January 1601 00:00):
// what "reset the total editing time" writes.
inline constexpr TDateTime kZeroEditTime = kEditTimeOrigin;

// One document on disk with one operation per property that cleaning clears,
// resets or removes. Creation reads the document into a cache; an operation
// whose value equals the cached one does not touch the file, unless the
// cached value is not exactly what the document stores (a damaged value, a
// title stored as another type, a company also kept under a user-defined
// name): then the stored value decides. Every other operation opens the
// document, rewrites one property (or removes one), commits durably and
// closes it before returning; failures raise storage::StorageError and
// leave the document as it was.
class TSummaryInfoClass {
public:
    // Raises the reader's refusal (not a compound file, locked, damaged, ...)
    // instead of starting from an empty cache; a compound file without
    // property sets gives an empty cache.
    explicit TSummaryInfoClass(std::filesystem::path docPath);

    const std::filesystem::path& DocPath() const { return docPath_; }
    const TSummaryInfo& Cache() const { return cache_; }

    void SetTitle(const std::u16string& value);
    void SetSubject(const std::u16string& value);
    void SetAuthor(const std::u16string& value);
    void SetKeywords(const std::u16string& value);
    void SetComments(const std::u16string& value);
    void SetTemplate(const std::u16string& value);
    void SetLastAuthor(const std::u16string& value);
    void SetRevNumber(const std::u16string& value);
    // In the editing-time convention: below 1980 a duration from 1601
    // (kZeroEditTime writes FILETIME 0), from 1980 on a local date.
    void SetEditTime(TDateTime value);
    // A local date-time; the zero date-time is stored as 30 December 1899
    // 00:00 UTC in every zone, so a cleared date carries no time zone.
    void SetLastPrinted(TDateTime value);
    void SetCreated(TDateTime value);
    void SetLastSaved(TDateTime value);
    // Also replaces the user-defined "Company" (the empty text removes it
    // with its name), where LibreOffice keeps the company.
    void SetCompany(const std::u16string& value);
    // Remove the document's unique identifier (DSI 18 and the user-defined
    // "_PID_GUID") and its recent-hyperlinks list (DSI 21, "_PID_HLINKS").
    // A document without them, or without the set, is left alone.
    void RemoveGuid();
    void RemoveHLinks();
    // Blanks who saved the document last outside its property sets:
    // Excel's WriteAccess and PowerPoint's Current User, in place.
    void ClearLastSaverNames();
    // Takes the names out of comments, tracked changes, the save history and
    // shared-workbook records, in place (BlankRevisionLogNames).
    void RemoveRevisionLog();
    // Removes the preview picture of the first page (SummaryInformation 17).
    void RemoveThumbnail();
    // Zeroes what free space still holds (ZeroFreeSpace): the last step of a
    // document's clean, done even when no property had anything to change.
    void ZeroFreeSpace();

private:
    void setText(const char* field, const std::u16string& value);
    void setDate(const char* field, TDateTime value, TFileTime fileTime, bool clearsDate);

    std::filesystem::path docPath_;
    TSummaryInfo cache_;
    std::set<const SummaryProperty*> inexact_;
};

}  // namespace velmora::engine

#pragma once

#include <string>
#include <vector>

#include "engine/last_saver_blanking.h"
#include "engine/revision_log_names.h"
#include "engine/stream_bytes.h"

namespace velmora::engine {

// A printer a document names: Excel's Pls record keeps the printer's
// settings (a Windows DEVMODE) of each sheet, with the printer's name, often
// a host and a queue ("\\Lins\lp"), and the driver's private data; Word's
// FIB can name three tables in the table stream, the printer driver's
// names (PrDrvr) and the settings for portrait and landscape (PrEnvPort,
// PrEnvLand).
struct PrinterPlace {
    std::string where;      // "Pls", "PrDrvr", "PrEnvPort", "PrEnvLand"
    std::u16string stream;  // u"Workbook", u"Book", u"0Table" or u"1Table"
    std::u16string name;    // the device name; empty where only driver data is left
};

struct PrinterScan {
    std::vector<PrinterPlace> places;
    std::vector<std::string> problems;  // "Workbook: not cleaned: ..."; left alone
};

// The printer settings of a workbook stream: its globals give each sheet's
// offset, and each sheet is read from its BOF only as far as its page
// settings go (they come before its cells), so the cells of a large
// workbook are not read. A Pls record whose reserved word is not zero holds
// no Windows DEVMODE (Excel for the Mac writes its own print record, which
// names no printer) and is left alone.
void FindWorkbookPrinters(std::u16string_view streamName, StreamBytes& stream, PrinterScan& found);
// Word's printer tables: only the FIB and the tables it names are read.
void FindWordPrinters(StreamBytes& wordDocument, const RootStreamBytes& open, PrinterScan& found);
// Every workbook stream of a document (`Workbook`, `Book`), and Word's.
PrinterScan ScanPrinters(const RootStreamBytes& open);

// Blanks each Windows DEVMODE in place: its device name and its driver's
// private data zeroed, its sizes and public settings (paper, orientation,
// copies) kept, the record's length unchanged. Word's printer tables are
// dropped as the format allows: their FIB pairs set to zero first, then
// their bytes in the table stream zeroed. A printer name left in a record
// the walk cannot read whole is a problem, not cleaned.
InPlaceBlanking PlanPrinterBlanking(const RootStreamSource& read);

}  // namespace velmora::engine

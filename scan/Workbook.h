#pragma once
// The batch tool's table as an .xlsx workbook: one sheet, in the columns and with the headings of
// scan::workbookColumns(); numbers, dates and texts typed as such, the header row frozen and filtered, columns as wide
// as their texts (within reason), multi-line cells wrapped. A text longer than a cell holds is cut with a visible mark;
// a cell the library refuses is said in its row's status.

#include <memory>
#include <string>

#include "scan/ScanFiles.h"

namespace varnok::scan {

class Workbook {
public:
    // The path in UTF-8; nothing is written before close().
    explicit Workbook(const std::string& path);
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // False when a cell was refused (its row's status says which and why).
    bool add(const FieldsRow& row);
    // Writes the file; false with the reason in Polish (UTF-8) when it cannot.
    bool close(std::string& reason);

private:
    struct Book;
    std::unique_ptr<Book> book_;
};

}  // namespace varnok::scan

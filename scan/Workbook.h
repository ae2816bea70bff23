#pragma once
// The batch tool's table as an .xlsx workbook: one sheet, "Plik", "Status" and "Wskazówka" first, then the 31
// properties; numbers, dates and texts typed as such, the header row frozen and filtered, columns as wide as their
// texts (within reason), multi-line cells wrapped.

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

    void add(const FieldsRow& row);
    // Writes the file; false with the library's reason, in English, when it cannot.
    bool close(std::string& reason);

private:
    struct Book;
    std::unique_ptr<Book> book_;
};

}  // namespace varnok::scan

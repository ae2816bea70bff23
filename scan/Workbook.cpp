#include "Workbook.h"

#include <algorithm>
#include <vector>

#include <xlsxwriter.h>

namespace varnok::scan {

namespace {

constexpr double widest = 60, narrowest = 6;
constexpr std::size_t cellLimit = 32767;  // characters a cell holds

// Characters, not bytes, of the longest line.
double longestLine(const std::string& text)
{
    std::size_t longest = 0, line = 0;
    for (const char c : text) {
        if (c == '\n') {
            longest = std::max(longest, line);
            line = 0;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++line;
        }
    }
    return static_cast<double>(std::max(longest, line));
}

std::string reasonOf(lxw_error error)
{
    switch (error) {
    case LXW_NO_ERROR: return {};
    case LXW_ERROR_MEMORY_MALLOC_FAILED: return "za mało pamięci";
    case LXW_ERROR_CREATING_XLSX_FILE: return "nie można utworzyć pliku (brak prawa zapisu w folderze?)";
    case LXW_ERROR_CREATING_TMPFILE: return "nie można utworzyć pliku tymczasowego w folderze TEMP";
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE: return "błąd zapisu pliku (brak miejsca na dysku?)";
    case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED: return "tekst dłuższy niż mieści komórka";
    default: return "błąd biblioteki skoroszytu nr " + std::to_string(static_cast<int>(error));
    }
}

}  // namespace

// The library keeps the cells until it writes the file; the rows are not kept twice.
struct Workbook::Book {
    lxw_workbook* book = nullptr;
    lxw_worksheet* sheet = nullptr;
    lxw_format *wrapped = nullptr, *top = nullptr, *date = nullptr;
    std::vector<double> widths;
    lxw_row_t rows = 1;

    ~Book()
    {
        if (book)
            lxw_workbook_free(book);
    }
};

Workbook::Workbook(const std::string& path) : book_(std::make_unique<Book>())
{
    Book& b = *book_;
    b.book = workbook_new(path.c_str());
    if (!b.book)
        return;
    b.sheet = workbook_add_worksheet(b.book, "Zestawienie");
    lxw_format* bold = workbook_add_format(b.book);
    format_set_bold(bold);
    b.wrapped = workbook_add_format(b.book);
    format_set_text_wrap(b.wrapped);
    format_set_align(b.wrapped, LXW_ALIGN_VERTICAL_TOP);
    b.top = workbook_add_format(b.book);
    format_set_align(b.top, LXW_ALIGN_VERTICAL_TOP);
    b.date = workbook_add_format(b.book);
    format_set_num_format(b.date, "yyyy-mm-dd");
    format_set_align(b.date, LXW_ALIGN_VERTICAL_TOP);
    const auto& columns = workbookColumns();
    for (lxw_col_t c = 0; c < columns.size(); ++c) {
        worksheet_write_string(b.sheet, 0, c, columns[c].heading.c_str(), bold);
        b.widths.push_back(longestLine(columns[c].heading) + 3);  // room for the filter's button
    }
}

Workbook::~Workbook() = default;

bool Workbook::add(const FieldsRow& row)
{
    Book& b = *book_;
    if (!b.sheet)
        return false;
    const lxw_row_t r = b.rows++;
    std::string refused;  // the cells the library would not take
    const auto check = [&](lxw_error error, const std::string& heading) {
        if (error != LXW_NO_ERROR)
            refused += (refused.empty() ? "" : "; ") + heading + ": " + reasonOf(error);
    };
    const auto text = [&](lxw_col_t c, const std::string& whole) {
        const std::string value = cutToLimit(whole, cellLimit);
        const bool multiline = value.find('\n') != std::string::npos;
        check(worksheet_write_string(b.sheet, r, c, value.c_str(), multiline ? b.wrapped : b.top),
              workbookColumns()[c].heading);
        b.widths[c] = std::max(b.widths[c], longestLine(value) + 1);
    };
    const auto& columns = workbookColumns();
    for (lxw_col_t c = 3; c < columns.size(); ++c) {
        const auto& value = row.values[static_cast<std::size_t>(columns[c].field)];
        if (!value)
            continue;
        const TypedCell cell = typedCell(static_cast<fields::Field>(columns[c].field), *value);
        switch (cell.kind) {
        case TypedCell::Kind::Number:
            check(worksheet_write_number(b.sheet, r, c, cell.number, b.top), columns[c].heading);
            b.widths[c] = std::max(b.widths[c], static_cast<double>(value->size()) + 1);
            break;
        case TypedCell::Kind::Date: {
            lxw_datetime when{cell.year, cell.month, cell.day, 0, 0, 0};
            check(worksheet_write_datetime(b.sheet, r, c, &when, b.date), columns[c].heading);
            b.widths[c] = std::max(b.widths[c], 11.0);
            break;
        }
        case TypedCell::Kind::Text: text(c, cell.text); break;
        }
    }
    text(0, row.file);
    text(1, refused.empty() ? row.status : row.status + " (nie zapisano komórek: " + refused + ")");
    text(2, row.advice);
    return refused.empty();
}

bool Workbook::close(std::string& reason)
{
    Book& b = *book_;
    if (!b.sheet) {
        reason = reasonOf(LXW_ERROR_MEMORY_MALLOC_FAILED);
        return false;
    }
    for (lxw_col_t c = 0; c < b.widths.size(); ++c)
        worksheet_set_column(b.sheet, c, c, std::clamp(b.widths[c], narrowest, widest), nullptr);
    worksheet_freeze_panes(b.sheet, 1, 0);
    worksheet_autofilter(b.sheet, 0, 0, b.rows - 1, static_cast<lxw_col_t>(b.widths.size() - 1));
    const lxw_error error = workbook_close(b.book);
    b.book = nullptr;  // freed by workbook_close, written or not
    if (error != LXW_NO_ERROR) {
        reason = reasonOf(error);
        return false;
    }
    return true;
}

}  // namespace varnok::scan

#include "Workbook.h"

#include <algorithm>
#include <vector>

#include <xlsxwriter.h>

namespace varnok::scan {

namespace {

constexpr int leadingColumns = 3;  // Plik, Status, Wskazówka
constexpr double widest = 60, narrowest = 6;

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

std::vector<std::string> headers()
{
    std::vector<std::string> names{"Plik", "Status", "Wskazówka"};
    for (const fields::FieldRow& row : fields::fieldTable())
        names.emplace_back(row.property.begin(), row.property.end());
    return names;
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
    const std::vector<std::string> names = headers();
    for (lxw_col_t c = 0; c < names.size(); ++c) {
        worksheet_write_string(b.sheet, 0, c, names[c].c_str(), bold);
        b.widths.push_back(longestLine(names[c]) + 3);  // room for the filter's button
    }
}

Workbook::~Workbook() = default;

void Workbook::add(const FieldsRow& row)
{
    Book& b = *book_;
    if (!b.sheet)
        return;
    const lxw_row_t r = b.rows++;
    const auto text = [&](lxw_col_t c, const std::string& value) {
        const bool multiline = value.find('\n') != std::string::npos;
        worksheet_write_string(b.sheet, r, c, value.c_str(), multiline ? b.wrapped : b.top);
        b.widths[c] = std::max(b.widths[c], longestLine(value) + 1);
    };
    text(0, row.file);
    text(1, row.status);
    text(2, row.advice);
    for (std::size_t i = 0; i < fields::fieldCount; ++i) {
        if (!row.values[i])
            continue;
        const auto c = static_cast<lxw_col_t>(leadingColumns + i);
        const TypedCell cell = typedCell(static_cast<fields::Field>(i), *row.values[i]);
        switch (cell.kind) {
        case TypedCell::Kind::Number:
            worksheet_write_number(b.sheet, r, c, cell.number, b.top);
            b.widths[c] = std::max(b.widths[c], static_cast<double>(row.values[i]->size()) + 1);
            break;
        case TypedCell::Kind::Date: {
            lxw_datetime when{cell.year, cell.month, cell.day, 0, 0, 0};
            worksheet_write_datetime(b.sheet, r, c, &when, b.date);
            b.widths[c] = std::max(b.widths[c], 11.0);
            break;
        }
        case TypedCell::Kind::Text: text(c, cell.text); break;
        }
    }
}

bool Workbook::close(std::string& reason)
{
    Book& b = *book_;
    if (!b.sheet) {
        reason = "no memory for the workbook";
        return false;
    }
    for (lxw_col_t c = 0; c < b.widths.size(); ++c)
        worksheet_set_column(b.sheet, c, c, std::clamp(b.widths[c], narrowest, widest), nullptr);
    worksheet_freeze_panes(b.sheet, 1, 0);
    worksheet_autofilter(b.sheet, 0, 0, b.rows - 1, static_cast<lxw_col_t>(b.widths.size() - 1));
    const lxw_error error = workbook_close(b.book);
    b.book = nullptr;  // freed by workbook_close, written or not
    if (error != LXW_NO_ERROR) {
        reason = lxw_strerror(error);
        return false;
    }
    return true;
}

}  // namespace varnok::scan

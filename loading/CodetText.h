#pragma once
// The text handling of ReadCodetData that needs no platform: the seven renamings and the result-file names and
// records.

#include <array>
#include <string>
#include <string_view>

namespace varnok {

struct Renaming {
    std::u16string_view from;
    std::u16string_view to;
};

// The seven element names a decoder sends capitalised, in the order they are rewritten.
const std::array<Renaming, 7>& renamings();

// All seven renamings over the whole text, element content included.
void applyRenamings(std::u16string& text);

// Every occurrence of `from`, scanning from the start; replaced text is not scanned again.
void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to);

// A piece of a file name: blanks and every character a file name cannot hold (\ / : * ? " < > | and control
// characters) become "_", so data can never name another folder.
std::u16string fileNamePart(std::u16string_view text);

// folder + "\" + registration number + "_" + date-time part + ".xml"
std::u16string savedCopyPath(std::u16string_view folder, std::u16string_view registrationNumber,
                             std::u16string_view dateTime);

// folder + "\Blad_" + date-time part + ".txt"
std::u16string errorLogPath(std::u16string_view folder, std::u16string_view dateTime);

// The error log's text: the payload, a blank, the status, CR, the document text.
std::u16string errorLogText(std::u16string_view payload, std::u16string_view status, std::u16string_view document);

// What a result file holds: a quotation mark, the text, a quotation mark, CR, LF.
std::u16string resultRecord(std::u16string_view text);

}  // namespace varnok

#pragma once
// ReadCodet: an image file's Aztec symbol as the text a 2D scanner would type. Failures are Automation errors
// 0x800A0000 + n with a Polish description, so that a VBA client sees n in Err.Number.

#include <string>
#include <string_view>

#include "aztec/Reader.h"

namespace varnok::sandbox {
class WorkerPool;
}

namespace varnok {

// The numbers clients see; documented in the user's guide.
namespace imageError {
inline constexpr int fileNotFound = 53;      // also an empty path or a folder
inline constexpr int fileNoAccess = 75;      // locked by another program, no permission
inline constexpr int unreadableImage = 321;  // not an image the system decodes, or damaged
inline constexpr int imageTooLarge = 1001;   // above the pixel limit, or no memory for it
inline constexpr int noSymbol = 1002;        // no Aztec symbol found
inline constexpr int symbolDamaged = 1003;   // a symbol was found but its data did not pass the check words
inline constexpr int pdfRefused = 1004;      // a PDF we do not read: encrypted, JBIG2, no image, too large
inline constexpr int readTimedOut = 1005;    // the file's reading was ended by the wall clock
inline constexpr int workerMissing = 1006;   // VarnokImageWorker.exe is not beside the program or does not start
}  // namespace imageError

// The file is read by one of `workers`: the caller's own, never another client's.
std::u16string ReadCodet(sandbox::WorkerPool& workers, std::u16string_view imagePath);

// What ReadCodet reads, with what the symbol says about itself: the symbol of an image file, or of the first of a
// PDF's images that has one. When none is read, the failure that says most (a damaged symbol, an image compressed
// in a way we do not read, no symbol, an image too large, one that could not be decoded), thrown as ReadCodet
// throws it.
aztec::ReadResult readImageSymbol(sandbox::WorkerPool& workers, std::u16string_view imagePath);

// The symbol's bytes in ISO 8859-1, the symbology's default character set: each byte is its own code point.
std::u16string scannerText(const std::string& bytes);

}  // namespace varnok

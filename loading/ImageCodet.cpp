#include "ImageCodet.h"

#include <new>
#include <optional>
#include <string>

#include "aztec/Reader.h"
#include "pdf/Reader.h"
#include "platform/Ansi.h"
#include "platform/ComPtr.h"
#include "base/Failure.h"
#include "sandbox/Box.h"
#include "sandbox/ImageRead.h"

namespace varnok {

namespace {

std::u16string quoted(std::u16string_view path) { return u"\"" + std::u16string(path) + u"\""; }

std::u16string number(std::uint32_t n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string pdfPlace(const ImageFileError::PdfDetail& pdf)
{
    std::u16string place;
    if (pdf.page > 0)
        place += u"strona " + number(static_cast<std::uint32_t>(pdf.page));
    if (pdf.object > 0)
        place += (place.empty() ? u"" : u", ") + (u"obiekt " + number(static_cast<std::uint32_t>(pdf.object)));
    return place.empty() ? place : u" (" + place + u")";
}

std::u16string compressionName(const std::string& codec)
{
    if (codec == "JPXDecode")
        return u"JPEG 2000";
    if (codec == "JBIG2Decode")
        return u"JBIG2";
    return std::u16string(codec.begin(), codec.end());
}

Failure pdfFailure(const ImageFileError& error, std::u16string_view path)
{
    const ImageFileError::PdfDetail& pdf = *error.pdf();
    switch (pdf.refusal) {
    case pdf::Refusal::Encrypted:
        return Failure::runtimeError(imageError::pdfRefused,
                                     u"Plik PDF " + quoted(path) +
                                         u" jest zaszyfrowany: zapisz skan ponownie bez hasła i bez szyfrowania");
    case pdf::Refusal::UnsupportedCompression:
        return Failure::runtimeError(imageError::pdfRefused,
                                     u"Plik PDF " + quoted(path) + u" zawiera obraz skompresowany w formacie " +
                                         compressionName(pdf.detail) + pdfPlace(pdf) +
                                         u", którego nie odczytujemy: skanuj w skali szarości lub do JPEG");
    case pdf::Refusal::NoImage:
        return Failure::runtimeError(imageError::pdfRefused,
                                     u"Plik PDF " + quoted(path) +
                                         u" nie zawiera żadnego obrazu (kod jest w nim zapewne narysowany jako grafika "
                                         u"wektorowa): wydrukuj go i zeskanuj albo wyeksportuj stronę jako obraz");
    case pdf::Refusal::WorkLimit:
        return Failure::runtimeError(imageError::pdfRefused,
                                     u"Plik PDF " + quoted(path) +
                                         u" jest zbyt złożony: odczyt przerwano po limicie pracy na jeden plik; "
                                         u"zeskanuj ponownie tylko stronę z kodem");
    case pdf::Refusal::FileTooLarge:
        return Failure::runtimeError(imageError::pdfRefused,
                                     u"Plik PDF " + quoted(path) + u" jest za duży (najwyżej " +
                                         number(static_cast<std::uint32_t>(pdf::maxFileBytes >> 20)) + u" MB)");
    case pdf::Refusal::None:
        break;
    }
    return Failure::runtimeError(imageError::unreadableImage, u"Nie można odczytać pliku PDF " + quoted(path) +
                                                                  pdfPlace(pdf) + u": uszkodzony plik");
}

Failure imageFailure(const ImageFileError& error, std::u16string_view path)
{
    using Kind = ImageFileError::Kind;
    if (error.pdf())
        return pdfFailure(error, path);
    switch (error.kind()) {
    case Kind::NotFound:
        return Failure::runtimeError(imageError::fileNotFound, u"Nie znaleziono pliku obrazu: " + quoted(path));
    case Kind::NoAccess:
        return Failure::runtimeError(imageError::fileNoAccess,
                                     u"Nie można otworzyć pliku obrazu " + quoted(path) +
                                         u" (brak uprawnień albo plik jest otwarty w innym programie)");
    case Kind::NoDecoder:
        if (!error.format().empty())
            return Failure::runtimeError(imageError::unreadableImage,
                                         u"Nie można odczytać obrazu " + quoted(path) +
                                             u": system nie ma dekodera formatu " +
                                             std::u16string(error.format().begin(), error.format().end()) +
                                             u" (zapisz obraz jako PNG albo JPEG)");
        [[fallthrough]];
    case Kind::Unreadable:
    case Kind::Refused:
        return Failure::runtimeError(imageError::unreadableImage,
                                     u"Nie można odczytać obrazu " + quoted(path) +
                                         u": nieobsługiwany format albo uszkodzony plik");
    case Kind::TimedOut:
        return Failure::runtimeError(imageError::readTimedOut,
                                     u"Odczyt pliku " + quoted(path) + u" przerwano po " +
                                         number(sandbox::workerWaitMilliseconds / 1000) +
                                         u" s: plik jest zbyt złożony albo uszkodzony; zeskanuj ponownie tylko stronę z kodem");
    case Kind::NoWorker: {
        const std::u16string worker = fromUtf8(error.format());
        return Failure::runtimeError(imageError::workerMissing,
                                     u"Nie można uruchomić programu VarnokImageWorker.exe" +
                                         (worker.empty() ? u"" : u" (" + quoted(worker) + u")") +
                                         u", który odczytuje obrazy: zainstaluj program ponownie");
    }
    case Kind::TooLarge:
        break;
    }
    const std::u16string size = number(error.width()) + u" x " + number(error.height()) + u" pikseli";
    if (error.code() != 0)  // no memory for an image within the limit
        return Failure::runtimeError(imageError::imageTooLarge, u"Za mało pamięci, by wczytać obraz " + quoted(path) +
                                                                    (error.width() ? u" (" + size + u")" : u""));
    return Failure::runtimeError(imageError::imageTooLarge, u"Obraz " + quoted(path) + u" jest za duży: " + size +
                                                                u" (najwyżej 120 milionów pikseli)");
}

}  // namespace

std::u16string scannerText(const std::string& bytes)
{
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}

aztec::ReadResult readImageSymbol(sandbox::WorkerPool& workers, std::u16string_view imagePath)
{
    worker::FileOutcome outcome = sandbox::readImageFile(workers, wideView(imagePath));
    if (outcome.error)
        throw imageFailure(*outcome.error, imagePath);
    aztec::ReadResult read = std::move(outcome.read);
    switch (read.failure) {
    case aztec::ReadFailure::None:
        return read;
    case aztec::ReadFailure::TooDamaged:
        throw Failure::runtimeError(imageError::symbolDamaged,
                                    u"Kod Aztec na obrazie " + quoted(imagePath) + u" jest zbyt uszkodzony, by go odczytać");
    case aztec::ReadFailure::BadImage:
        throw imageFailure(ImageFileError(ImageFileError::Kind::Unreadable, 0), imagePath);
    case aztec::ReadFailure::NoSymbol:
        break;
    }
    throw Failure::runtimeError(imageError::noSymbol, u"Na obrazie " + quoted(imagePath) + u" nie znaleziono kodu Aztec");
}

std::u16string ReadCodet(sandbox::WorkerPool& workers, std::u16string_view imagePath)
{
    return scannerText(readImageSymbol(workers, imagePath).bytes);
}

}  // namespace varnok

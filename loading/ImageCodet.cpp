#include "ImageCodet.h"

#include <new>
#include <string>

#include "aztec/Reader.h"
#include "platform/ComPtr.h"
#include "platform/Failure.h"
#include "platform/ImageFile.h"

namespace varnok {

namespace {

std::u16string quoted(std::u16string_view path) { return u"\"" + std::u16string(path) + u"\""; }

std::u16string number(std::uint32_t n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

Failure imageFailure(const ImageFileError& error, std::u16string_view path)
{
    using Kind = ImageFileError::Kind;
    switch (error.kind()) {
    case Kind::NotFound:
        return Failure::runtimeError(imageError::fileNotFound, u"Nie znaleziono pliku obrazu: " + quoted(path));
    case Kind::NoAccess:
        return Failure::runtimeError(imageError::fileNoAccess,
                                     u"Nie można otworzyć pliku obrazu " + quoted(path) +
                                         u" (brak uprawnień albo plik jest otwarty w innym programie)");
    case Kind::Unreadable:
        return Failure::runtimeError(imageError::unreadableImage,
                                     u"Nie można odczytać obrazu " + quoted(path) +
                                         u": nieobsługiwany format albo uszkodzony plik");
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

aztec::ReadResult readImageSymbol(std::u16string_view imagePath)
{
    GrayPixels image;
    try {
        image = loadGrayImage(wideView(imagePath), aztec::maxPixels);
    } catch (const ImageFileError& error) {
        throw imageFailure(error, imagePath);
    }
    aztec::ReadResult read;
    try {
        read = aztec::readAztec(aztec::GrayImage{image.pixels.data(), image.width, image.height, image.width});
    } catch (const std::bad_alloc&) {
        throw imageFailure(ImageFileError(ImageFileError::Kind::TooLarge, E_OUTOFMEMORY,
                                          static_cast<std::uint32_t>(image.width),
                                          static_cast<std::uint32_t>(image.height)),
                           imagePath);
    }
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

std::u16string ReadCodet(std::u16string_view imagePath) { return scannerText(readImageSymbol(imagePath).bytes); }

}  // namespace varnok

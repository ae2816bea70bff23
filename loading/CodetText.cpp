#include "CodetText.h"


namespace varnok {

void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to)
{
    if (from.empty())
        return;
    std::u16string::size_type at = 0;
    while ((at = text.find(from, at)) != std::u16string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

const std::array<Renaming, 7>& renamings()
{
    static constexpr std::array<Renaming, 7> table{{
        {u"Numer_DR", u"numer_DR"},
        {u"Rodzaj_pojazdu", u"rodzaj_pojazdu"},
        {u"Przeznaczenie", u"przeznaczenie"},
        {u"Rok_produkcji", u"rok_produkcji"},
        {u"Dopuszczalna_ladownosc", u"dopuszczalna_ladownosc"},
        {u"Dopuszczalny_nacisk_na_os", u"dopuszczalny_nacisk_na_os"},
        {u"Numer_karty_pojazdu", u"numer_karty_pojazdu"},
    }};
    return table;
}

void applyRenamings(std::u16string& text)
{
    for (const Renaming& renaming : renamings())
        replaceAll(text, renaming.from, renaming.to);
}

std::u16string fileNamePart(std::u16string_view text)
{
    std::u16string part(text);
    for (char16_t& c : part) {
        if (c < 0x20 || c == 0x7F || std::u16string_view(u" \\/:*?\"<>|").find(c) != std::u16string_view::npos)
            c = u'_';
    }
    return part;
}

std::u16string savedCopyPath(std::u16string_view folder, std::u16string_view registrationNumber,
                             std::u16string_view dateTime)
{
    std::u16string path(folder);
    path += u'\\';
    path += fileNamePart(registrationNumber);
    path += u'_';
    path += fileNamePart(dateTime);
    path += u".xml";
    return path;
}

std::u16string errorLogPath(std::u16string_view folder, std::u16string_view dateTime)
{
    std::u16string path(folder);
    path += u"\\Blad_";
    path += fileNamePart(dateTime);
    path += u".txt";
    return path;
}

std::u16string errorLogText(std::u16string_view payload, std::u16string_view status, std::u16string_view document)
{
    std::u16string text(payload);
    text += u' ';
    text += status;
    text += u'\r';
    text += document;
    return text;
}

std::u16string resultRecord(std::u16string_view text)
{
    std::u16string record = u"\"";
    record += text;
    record += u"\"\r\n";
    return record;
}

}  // namespace varnok

// What the image front ends decide before the reader runs: the size a file's header declares, and which files an
// argument names.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "scan/ScanFiles.h"
#include "imaging/ImageHeader.h"

namespace varnok {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> list) { return {list.begin(), list.end()}; }

TEST(DeclaredSize, ReadFromEachFormatsHeader)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> head;
        std::optional<DeclaredSize> size;
    };
    std::vector<std::uint8_t> png = bytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                           0x00, 0x00, 0x75, 0x30, 0x00, 0x01, 0x00, 0x00});
    std::vector<std::uint8_t> bmp = bytes({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                           0x20, 0x4E, 0, 0, 0xE0, 0xB1, 0xFF, 0xFF});  // height -20000: top-down
    std::vector<std::uint8_t> core = bmp;
    core[14] = 12;  // OS/2 core header: 16-bit width and height
    const Case cases[] = {
        {"PNG", png, DeclaredSize{30000, 65536}},
        {"GIF89a", bytes({'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0x01, 0x00}), DeclaredSize{65535, 1}},
        {"GIF87a", bytes({'G', 'I', 'F', '8', '7', 'a', 0x10, 0x00, 0x20, 0x00}), DeclaredSize{16, 32}},
        {"BMP", bmp, DeclaredSize{20000, 20000}},
        {"BMP core", core, DeclaredSize{20000, 0}},
        {"PNG cut short", std::vector<std::uint8_t>(png.begin(), png.begin() + 20), std::nullopt},
        {"PNG without IHDR first", [&] { auto p = png; p[12] = 'X'; return p; }(), std::nullopt},
        {"JPEG after APP0", bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46, 0xFF, 0xFF, 0xC2, 0x00, 0x11, 0x08,
                                   0xEA, 0x60, 0x01, 0x02}),
         DeclaredSize{0x0102, 60000}},
        {"JPEG cut in its frame header", bytes({0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xEA}), std::nullopt},
        {"JPEG scan before any frame header", bytes({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0xFF, 0xC0,
                                                     0x00, 0x11, 0x08, 0x00, 0x01, 0x00, 0x01}),
         std::nullopt},
        {"JPEG segments running off the end", bytes({0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xF0, 0x00}), std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto size = declaredSize(c.head);
        ASSERT_EQ(size.has_value(), c.size.has_value()) << c.what;
        if (size) {
            EXPECT_EQ(size->width, c.size->width) << c.what;
            EXPECT_EQ(size->height, c.size->height) << c.what;
        }
    }
}

TEST(ScanFiles, AFolderStandsForItsImagesInNameOrder)
{
    const auto folder = std::filesystem::temp_directory_path() / "varnok-scan-files";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "sub.png");
    for (const char* name : {"b.PNG", "a.jpeg", "c.tiff", "notes.txt", "d.gif", "e.Bmp", "f.jpg", "g.tif", "h.Pdf"})
        std::ofstream(folder / name) << "x";
    std::vector<std::string> names;
    for (const auto& file : scan::imageFilesOf(folder))
        names.push_back(file.filename().string());
    EXPECT_EQ(names,
              (std::vector<std::string>{"a.jpeg", "b.PNG", "c.tiff", "d.gif", "e.Bmp", "f.jpg", "g.tif", "h.Pdf"}));
    // A file is itself, whatever its name; a folder without images is nothing.
    EXPECT_EQ(scan::imageFilesOf(folder / "notes.txt").size(), 1u);
    EXPECT_TRUE(scan::imageFilesOf(folder / "sub.png").empty());
    for (const char* name : {"skan.PDF", "telefon.HEIC", "zdjęcie.webp"})
        EXPECT_TRUE(scan::isImageFileName(name)) << name;
    for (const char* name : {"zestawienie.csv", "desktop.ini", "skan.pdf.txt"})
        EXPECT_FALSE(scan::isImageFileName(name)) << name;
    std::filesystem::remove_all(folder);

    EXPECT_EQ(scan::scanLine("a.png", {aztec::ReadFailure::None, "ABC", ""}), "a.png\tABC");
    EXPECT_EQ(scan::scanLine("a.png", {aztec::ReadFailure::NoSymbol, "", "no Aztec symbol found"}),
              "a.png\t!\tno Aztec symbol found");
    EXPECT_EQ(scan::scanExitCode(3, 0), 0);
    EXPECT_EQ(scan::scanExitCode(3, 1), 1);
    EXPECT_EQ(scan::scanExitCode(0, 0), 0);  // an empty folder: nothing left unread

    aztec::ReadResult part{aztec::ReadFailure::None, "DATA", ""};
    EXPECT_EQ(scan::sequenceNote("a.png", part), "");
    part.sequence = aztec::SequencePosition{2, 3, "XYZ"};
    EXPECT_EQ(scan::sequenceNote("a.png", part), "a.png: part 2 of 3, id XYZ");
    part.sequence = aztec::SequencePosition{1, 2, ""};
    EXPECT_EQ(scan::sequenceNote("a.png", part), "a.png: part 1 of 2");
    EXPECT_EQ(scan::gs1Note("a.png", part), "");
    part.gs1 = true;
    EXPECT_EQ(scan::gs1Note("a.png", part), "a.png: GS1 data");
    part.failure = aztec::ReadFailure::TooDamaged;
    EXPECT_EQ(scan::gs1Note("a.png", part), "");
}

TEST(ScanFiles, SymbolsThatAreNotAWholeMessageAreNoted)
{
    const struct {
        aztec::ReadResult result;
        std::vector<std::string> notes;
    } cases[] = {
        {{aztec::ReadFailure::None, "ABC", ""}, {}},
        {{aztec::ReadFailure::None, "ABC", "", false, aztec::SequencePosition{2, 3, ""}},
         {"a.png: uwaga: kod jest częścią 2 z 3 kodu dzielonego (structured append); tekst obejmuje tylko tę część"}},
        {{aztec::ReadFailure::None, "ABC", "", false, aztec::SequencePosition{1, 26, "DR 7"}},
         {"a.png: uwaga: kod jest częścią 1 z 26 kodu dzielonego (structured append), identyfikator \"DR 7\"; tekst "
          "obejmuje tylko tę część"}},
        {{aztec::ReadFailure::None, "ABC", "", true},
         {"a.png: uwaga: kod programujący czytnik (reader initialisation)"}},
        {{aztec::ReadFailure::None, "0104", "", false, std::nullopt, true},
         {"a.png: uwaga: dane GS1 (kod zaczyna się od FNC1, którego tekst nie zawiera; separatory FNC1 w tekście to "
          "znaki GS, 0x1D)"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan::symbolNotes("a.png", c.result), c.notes);
}

// The batch tool's table as Excel and JSON readers take it apart.
TEST(ScanFiles, FieldRowsAreQuotedWhereTheirTextNeedsIt)
{
    scan::FieldsRow row;
    row.file = "C:\\skany\\dowód;1.png";
    row.status = "OK";
    const struct {
        std::optional<std::string> value;
        const char* csv;   // the field with ";" as separator
        const char* json;  // the member's value
    } cases[] = {
        {"WX 4217K", "WX 4217K", "\"WX 4217K\""},
        {"ŻUBR", "ŻUBR", "\"ŻUBR\""},
        {"A;B", "\"A;B\"", "\"A;B\""},
        {"A,B", "A,B", "\"A,B\""},
        {"PRZEWOZY \"ŁĄCZNIK\"", "\"PRZEWOZY \"\"ŁĄCZNIK\"\"\"", "\"PRZEWOZY \\\"ŁĄCZNIK\\\"\""},
        {"STAROSTA\rUL. 3", "\"STAROSTA\rUL. 3\"", "\"STAROSTA\\rUL. 3\""},
        {"a\nb\\c\x01", "\"a\nb\\c\x01\"", "\"a\\nb\\\\c\\u0001\""},
        {"", "", "\"\""},
        {std::nullopt, "", "null"},
    };
    for (const auto& c : cases) {
        row.values.fill(c.value);
        std::string csv, json = "{";
        for (const auto& field : fields::fieldTable()) {
            csv += std::string(c.csv) + ";";
            json += "\"" + std::string(field.property.begin(), field.property.end()) + "\":" + c.json + ",";
        }
        EXPECT_EQ(scan::csvRecord(row, ";"), csv + "\"C:\\skany\\dowód;1.png\";OK;\r\n") << c.csv;
        EXPECT_EQ(scan::jsonLine(row),
                  json + "\"Plik\":\"C:\\\\skany\\\\dowód;1.png\",\"Status\":\"OK\",\"Wskazówka\":\"\"}")
            << c.csv;
    }
    EXPECT_EQ(scan::csvRecord(row, ","), std::string(31, ',') + "C:\\skany\\dowód;1.png,OK,\r\n");

    const std::string header = scan::csvHeader(";");
    EXPECT_EQ(header.substr(0, 35), "NumerDR;RodzajPojazdu;NazwiskoNazwa");
    EXPECT_TRUE(header.ends_with(";LiczbaMiejscStoj;OrganWydajacy;Plik;Status;Wskazówka\r\n")) << header;
    EXPECT_EQ(std::count(header.begin(), header.end(), ';'), 33);
}

// Cells that Excel or Calc would evaluate when they open the CSV, from values, file names and statuses alike.
TEST(ScanFiles, CsvCellsNeverBecomeFormulas)
{
    const struct {
        const char* value;
        const char* cell;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+48 123", "'+48 123"}, {"@SUM(A1)", "'@SUM(A1)"}, {"-2+3", "'-2+3"}, {"-A1", "'-A1"},
        {"\tx", "'\tx"}, {"\rx", "\"'\rx\""}, {"---", "---"}, {"-", "-"}, {"-12.5", "-12.5"},
        {"a=b", "a=b"}, {"WX 4217K", "WX 4217K"}, {"", ""}, {"'=1", "'=1"},
    };
    for (const auto& c : cases) {
        scan::FieldsRow row;
        row.values.fill(c.value);
        row.file = c.value;
        row.status = c.value;
        row.advice = c.value;
        std::string expected;
        for (int i = 0; i < 34; ++i)
            expected += std::string(c.cell) + (i < 33 ? ";" : "\r\n");
        EXPECT_EQ(scan::csvRecord(row, ";"), expected) << c.value;
    }
}

TEST(ScanFiles, WorkbookCellsAreTypedByTheirProperty)
{
    using K = scan::TypedCell::Kind;
    using F = fields::Field;
    const struct {
        F field;
        const char* value;
        K kind;
        double number;
        int y, m, d;
        const char* text;
    } cases[] = {
        {F::MasaWlasna, "1398.00", K::Number, 1398, 0, 0, 0, "1398.00"},
        {F::PojSilnika, "1598", K::Number, 1598, 0, 0, 0, "1598"},
        {F::MaksymalnaMocNetto, "0", K::Number, 0, 0, 0, 0, "0"},
        {F::MaksymalnaMocNetto, "85.5", K::Number, 85.5, 0, 0, 0, "85.5"},
        {F::RokProdukcji, "2015", K::Number, 2015, 0, 0, 0, "2015"},
        {F::LiczbaMiejscSiedz, "5", K::Number, 5, 0, 0, 0, "5"},
        {F::LiczbaMiejscStoj, "---", K::Text, 0, 0, 0, 0, "---"},
        {F::RokProdukcji, "12.5", K::Text, 0, 0, 0, 0, "12.5"},  // only the properties' numbers have decimals
        {F::MasaWlasna, "0123", K::Text, 0, 0, 0, 0, "0123"},
        {F::MasaWlasna, "12.", K::Text, 0, 0, 0, 0, "12."},
        {F::MasaWlasna, "1e5", K::Text, 0, 0, 0, 0, "1e5"},
        {F::MasaWlasna, "", K::Text, 0, 0, 0, 0, ""},
        {F::DataIRejestracji, "2015-03-12", K::Date, 0, 2015, 3, 12, "2015-03-12"},
        {F::DataWydaniaDR, "2024-02-29", K::Date, 0, 2024, 2, 29, "2024-02-29"},
        {F::DataWydaniaDR, "2023-02-29", K::Text, 0, 0, 0, 0, "2023-02-29"},
        {F::DataWydaniaDR, "12.03.2015", K::Text, 0, 0, 0, 0, "12.03.2015"},
        {F::NumerDR, "2015-03-12", K::Text, 0, 0, 0, 0, "2015-03-12"},
        {F::VIN, "12345", K::Text, 0, 0, 0, 0, "12345"},
        {F::OrganWydajacy, "STAROSTA\rUL. 3\r\nX", K::Text, 0, 0, 0, 0, "STAROSTA\nUL. 3\nX"},
        {F::Marka, "=1+1", K::Text, 0, 0, 0, 0, "=1+1"},
    };
    for (const auto& c : cases) {
        const scan::TypedCell cell = scan::typedCell(c.field, c.value);
        EXPECT_EQ(cell.kind, c.kind) << c.value;
        EXPECT_EQ(cell.number, c.number) << c.value;
        EXPECT_EQ(cell.year * 10000 + cell.month * 100 + cell.day, c.y * 10000 + c.m * 100 + c.d) << c.value;
        EXPECT_EQ(cell.text, c.text) << c.value;
    }
}

TEST(ScanFiles, EveryFailureHasAdviceAndTheSummaryCountsAll)
{
    EXPECT_EQ(scan::problemOfStatus(u"OK"), scan::Problem::None);
    EXPECT_EQ(scan::problemOfStatus(u"Błąd rozkodowania niepoprawne kodowanie Base64"), scan::Problem::NotCertificate);
    EXPECT_EQ(scan::problemOfStatus(u"Błąd ReadCodetData: wymagany parametr nie zawiera danych"),
              scan::Problem::NotCertificate);
    EXPECT_EQ(scan::problemOfStatus(u"Błąd ReadCodetData: Błąd parsowania Xml"), scan::Problem::DecoderFailure);
    EXPECT_EQ(scan::advice(scan::Problem::None), "");
    std::vector<std::string> seen;
    for (int p = static_cast<int>(scan::Problem::NotFound); p <= static_cast<int>(scan::Problem::BadName); ++p) {
        const std::string text = scan::advice(static_cast<scan::Problem>(p));
        EXPECT_FALSE(text.empty()) << p;
        EXPECT_TRUE(text.ends_with(".")) << text;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << text;
        seen.push_back(text);
    }
    EXPECT_NE(scan::advice(scan::Problem::Damaged).find("300 dpi"), std::string::npos);
    EXPECT_NE(scan::advice(scan::Problem::PdfEncrypted).find("bez hasła"), std::string::npos);
    EXPECT_EQ(scan::summaryLine(44, 6, 2), "Pliki: 44 z 50 odczytano, 6 nie odczytano, 2 pominięto (ukryte, systemowe i "
                                           "sam plik wyników)");
    EXPECT_EQ(scan::summaryLine(0, 0, 1), "Pliki: nie było nic do odczytania (0 plików), 1 pominięto (ukryte, systemowe "
                                          "i sam plik wyników)");
}

// Each image error number a reading ends with, and the description that tells the kinds of 1001 and 1004 apart.
TEST(ScanFiles, ImageErrorsBecomeProblemsWithTheirOwnAdvice)
{
    using P = scan::Problem;
    const struct {
        int number;
        std::u16string description;
        P problem;
    } cases[] = {
        {53, u"Nie znaleziono pliku obrazu: \"a.png\"", P::NotFound},
        {75, u"Brak dostępu do pliku \"a.png\"", P::NoAccess},
        {321, u"Nie można odczytać obrazu \"a.png\"", P::Unreadable},
        {1001, u"Obraz \"a.png\" jest za duży", P::TooLarge},
        {1001, u"Za mało pamięci, by wczytać obraz \"a.png\"", P::NoMemory},
        {1002, u"Na obrazie \"a.png\" nie znaleziono kodu Aztec", P::NoSymbol},
        {1003, u"Kod Aztec na obrazie \"a.png\" jest zbyt uszkodzony", P::Damaged},
        {1004, u"Plik PDF \"a.pdf\" jest zaszyfrowany: zapisz", P::PdfEncrypted},
        {1004, u"Plik PDF \"a.pdf\" zawiera obraz skompresowany w formacie JBIG2", P::PdfCompression},
        {1004, u"Plik PDF \"a.pdf\" nie zawiera żadnego obrazu", P::PdfNoImage},
        {1004, u"Plik PDF \"a.pdf\" ma 900 stron", P::TooLarge},
        {1005, u"Odczyt pliku \"a.pdf\" przerwano po 15 s: plik jest zbyt złożony", P::TimedOut},
        {1006, u"Nie można uruchomić VarnokImageWorker.exe", P::WorkerMissing},
        {7, u"Za mało pamięci", P::Unreadable},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan::problemOfError(c.number, c.description), c.problem) << c.number;
    EXPECT_NE(scan::advice(P::TimedOut).find("samą stronę dowodu z kodem"), std::string::npos);
    EXPECT_NE(scan::advice(P::WorkerMissing).find("zainstaluj VarnokSrv ponownie"), std::string::npos);
}

// The workbook's columns: what a clerk looks at first, every property once, headings in words.
TEST(ScanFiles, WorkbookHeadingsAreWordsInTheClerksOrder)
{
    const auto& columns = scan::workbookColumns();
    ASSERT_EQ(columns.size(), 3 + fields::fieldCount);
    std::vector<std::string> first;
    for (std::size_t i = 0; i < 7; ++i)
        first.push_back(columns[i].heading);
    EXPECT_EQ(first, (std::vector<std::string>{"Plik", "Status", "Wskazówka", "Nr rejestracyjny", "Marka", "VIN",
                                               "Właściciel (C.2.1)"}));
    std::vector<int> fieldsSeen;
    for (std::size_t i = 3; i < columns.size(); ++i) {
        fieldsSeen.push_back(columns[i].field);
        const auto property = fields::fieldTable()[static_cast<std::size_t>(columns[i].field)].property;
        // A property name joined in camel case ("MaxMasaPrzyczZH") is never a heading.
        const bool camelCase = std::any_of(property.begin() + 1, property.end(), [](char16_t c) { return c >= u'A' && c <= u'Z'; }) &&
                               std::any_of(property.begin(), property.end(), [](char16_t c) { return c >= u'a' && c <= u'z'; });
        if (camelCase) {
            EXPECT_NE(columns[i].heading, std::string(property.begin(), property.end()));
        }
    }
    std::sort(fieldsSeen.begin(), fieldsSeen.end());
    for (std::size_t i = 0; i < fieldsSeen.size(); ++i)
        EXPECT_EQ(fieldsSeen[i], static_cast<int>(i));
    EXPECT_EQ(scan::csvHeader(";").substr(0, 22), "NumerDR;RodzajPojazdu;");
}

TEST(ScanFiles, StatusesLoseTheirFolderAndLongCellsAreCutVisibly)
{
    EXPECT_EQ(scan::withoutFolder("Obraz \"C:\\Skany\\a\\b.png\" jest za duży", "C:\\Skany\\a\\b.png", "a\\b.png"),
              "Obraz \"a\\b.png\" jest za duży");
    EXPECT_EQ(scan::withoutFolder("OK", "b.png", "b.png"), "OK");
    EXPECT_EQ(scan::cutToLimit("krótki", 20), "krótki");
    const std::string cut = scan::cutToLimit(std::string(20, 'a') + "ż", 20);
    EXPECT_EQ(cut, std::string(9, 'a') + "… [obcięto]");
    std::string polish;
    for (int i = 0; i < 40000; ++i)
        polish += "ż";
    const std::string longCut = scan::cutToLimit(polish, 32767);
    EXPECT_EQ(longCut.size(), (32767 - 11) * 2 + std::string("… [obcięto]").size());
    EXPECT_TRUE(longCut.ends_with("… [obcięto]"));
}

// Subfolders walked, hidden entries counted and not entered, a folder that cannot be listed reported, name order.
TEST(ScanFiles, AFolderIsWalkedWithItsSubfolders)
{
    using E = scan::FolderEntry;
    const std::map<std::string, scan::FolderListing> tree{
        {"", {{E{"b.png"}, E{"a", true}, E{"desktop.ini", false, true}, E{"zestawienie.csv"}, E{"ukryty", true, true},
               E{"zablokowany", true}, E{"a.pdf"}}, ""}},
        {"a", {{E{"2.PDF"}, E{"1.jpg"}, E{"Thumbs.db", false, true}, E{"c", true}}, ""}},
        {"a/c", {{}, ""}},
        {"zablokowany", {{}, "Odmowa dostępu."}},
    };
    std::vector<std::string> listed;
    const scan::Walk walk = scan::walkFolder([&](const std::filesystem::path& folder) {
        listed.push_back(folder.generic_string());
        return tree.at(folder.generic_string());
    });
    std::vector<std::string> files;
    for (const auto& file : walk.files)
        files.push_back(file.relative.generic_string() + " " + std::to_string(static_cast<int>(file.kind)) + file.error);
    EXPECT_EQ(files, (std::vector<std::string>{"a/1.jpg 0", "a/2.PDF 0", "a.pdf 0", "b.png 0", "zablokowany 2Odmowa dostępu.",
                                               "zestawienie.csv 1"}));
    EXPECT_EQ(walk.skipped, 3);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "ukryty"), 0);
}

// A restarted /watch learns which files are done from what the tool wrote: every kind of row comes back.
TEST(ScanFiles, WrittenRowsReadBack)
{
    scan::FieldsRow quoted;
    quoted.file = "=dziwny; \"plik\"\r\n.png";
    quoted.status = "Błąd \u0001 \\ \t";
    quoted.advice = "Zeskanuj ponownie.";
    quoted.values[0] = "AB 123";
    quoted.values[30] = "URZĄD\rMIASTA";
    scan::FieldsRow plain;
    plain.file = "2026-12-08\\skan 1.png";
    plain.status = "OK";
    for (const scan::FieldsRow* row : {&quoted, &plain}) {
        const auto back = scan::rowOfJsonLine(scan::jsonLine(*row) + "\r\n");
        ASSERT_TRUE(back) << row->file;
        EXPECT_EQ(scan::jsonLine(*back), scan::jsonLine(*row));
    }
    EXPECT_FALSE(scan::rowOfJsonLine("{\"NumerDR\":null}"));
    EXPECT_FALSE(scan::rowOfJsonLine("Plik;Status"));
    // A journal or output of such lines: a line cut short is no row, a last row without its line end is one.
    const std::string whole = scan::jsonLine(quoted) + "\n", cut = scan::jsonLine(plain).substr(0, 40);
    const struct {
        std::string text;
        std::size_t rows;
    } texts[] = {{"", 0}, {whole, 1}, {whole + cut, 1}, {cut + "\n" + whole, 1}, {whole + scan::jsonLine(plain), 2},
                 {whole + "\r\n\n" + whole, 2}};
    for (const auto& t : texts)
        EXPECT_EQ(scan::rowsOfJsonLines(t.text).size(), t.rows) << t.text;
    for (const char* separator : {";", ","}) {
        const std::string csv = "\xEF\xBB\xBF" + scan::csvHeader(separator) + scan::csvRecord(quoted, separator) +
                                scan::csvRecord(plain, separator) + scan::csvHeader(separator);
        EXPECT_EQ(scan::filesOfCsv(csv), (std::vector<std::string>{quoted.file, plain.file})) << separator;
    }
    EXPECT_EQ(scan::filesOfCsv("Plik;Status\r\na;b\r\n"), std::vector<std::string>{});
    EXPECT_EQ(scan::filesOfLines("C:\\a.png\tTEKST\nC:\\b.png\t!\tNie ma\n"),
              (std::vector<std::string>{"C:\\a.png", "C:\\b.png"}));
}

// A share may list a name that holds a separator or is "..": its own row, never a path to follow or read.
TEST(ScanFiles, ListedNamesThatAreNotOneNameAreRowsNotPaths)
{
    using E = scan::FolderEntry;
    const std::map<std::string, scan::FolderListing> tree{
        {"", {{E{"..", true}, E{"a/../../etc", true}, E{"x/y.png"}, E{".", true}, E{"ok.png"}}, ""}},
    };
    std::vector<std::string> listed;
    const scan::Walk walk = scan::walkFolder([&](const std::filesystem::path& folder) {
        listed.push_back(folder.generic_string());
        return tree.at(folder.generic_string());
    });
    std::vector<std::string> files;
    for (const auto& file : walk.files)
        files.push_back(file.relative.generic_string() + " " + std::to_string(static_cast<int>(file.kind)));
    EXPECT_EQ(files, (std::vector<std::string>{". 3", ".. 3", "a/../../etc 3", "ok.png 0", "x/y.png 3"}));
    EXPECT_EQ(listed, (std::vector<std::string>{""}));
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "ukryty"), 0);
}

}  // namespace
}  // namespace varnok

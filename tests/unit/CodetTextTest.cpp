#include <gtest/gtest.h>

#include "loading/CodetText.h"
#include "base/PathNames.h"

namespace varnok {
namespace {

struct RenameCase {
    std::u16string input;
    std::u16string output;
};

class RenamingsTest : public testing::TestWithParam<RenameCase> {};

TEST_P(RenamingsTest, RewriteTagsAndContentAlike)
{
    std::u16string text = GetParam().input;
    applyRenamings(text);
    EXPECT_EQ(text, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Texts, RenamingsTest, testing::Values(
    RenameCase{u"<Numer_DR>1</Numer_DR>", u"<numer_DR>1</numer_DR>"},
    RenameCase{u"<A>Numer_DR</A>", u"<A>numer_DR</A>"},
    RenameCase{u"<x a=\"Rodzaj_pojazdu\"/>", u"<x a=\"rodzaj_pojazdu\"/>"},
    RenameCase{u"Numer_karty_pojazdu Numer_DR", u"numer_karty_pojazdu numer_DR"},
    RenameCase{u"Przeznaczenie Rok_produkcji Dopuszczalna_ladownosc Dopuszczalny_nacisk_na_os",
               u"przeznaczenie rok_produkcji dopuszczalna_ladownosc dopuszczalny_nacisk_na_os"},
    RenameCase{u"NUMER_DR numer_DR Numer_dr", u"NUMER_DR numer_DR Numer_dr"},  // case-sensitive
    RenameCase{u"Numer_DRNumer_DR", u"numer_DRnumer_DR"},
    RenameCase{u"", u""}));

TEST(ReplaceAll, ReplacedTextIsNotScannedAgain)
{
    std::u16string text = u"aaa";
    replaceAll(text, u"a", u"aa");
    EXPECT_EQ(text, u"aaaaaa");
    replaceAll(text, u"", u"x");
    EXPECT_EQ(text, u"aaaaaa");
}

TEST(ResultFileNames, DataCannotLeaveTheFolder)
{
    EXPECT_EQ(fileNamePart(u"WA 123"), u"WA_123");
    EXPECT_EQ(fileNamePart(u"..\\..\\Windows"), u".._.._Windows");
    EXPECT_EQ(fileNamePart(u"a/b:c*d?e\"f<g>h|i\tj\x7F"), u"a_b_c_d_e_f_g_h_i_j_");
    EXPECT_EQ(fileNamePart(u"ŁÓDŹ-1"), u"ŁÓDŹ-1");
    EXPECT_EQ(fileNamePart(u"7.12.2026 21:16:49"), u"7.12.2026_21_16_49");
    EXPECT_EQ(fileNamePart(u"12/7/2026 9:16:49 PM"), u"12_7_2026_9_16_49_PM");
}

TEST(ResultFileNames, PathsJoinFolderNameAndDate)
{
    EXPECT_EQ(savedCopyPath(u"C:\\out", u"WA 123", u"7.12.2026 21:16:49"), u"C:\\out\\WA_123_7.12.2026_21_16_49.xml");
    EXPECT_EQ(savedCopyPath(u"", u"", u"7.12.2026"), u"\\_7.12.2026.xml");
    EXPECT_EQ(errorLogPath(u"C:\\out", u"7.12.2026 21:16:49"), u"C:\\out\\Blad_7.12.2026_21_16_49.txt");
}

TEST(ResultFileNames, OnlyPathsThatNameTheirDriveOrShareAreAbsolute)
{
    for (std::u16string_view path : {u"C:\\wyniki\\a.xml", u"c:/a.xml", u"\\\\serwer\\udzial\\a.xml",
                                     u"\\\\?\\C:\\a.xml"})
        EXPECT_TRUE(isAbsolutePath(path)) << std::string(path.begin(), path.end());
    for (std::u16string_view path : {u"", u"a.xml", u"\\a.xml", u".\\a.xml", u"C:a.xml", u"C:", u"\\\\", u"1:\\a"})
        EXPECT_FALSE(isAbsolutePath(path)) << std::string(path.begin(), path.end());
}

TEST(ResultFileNames, CollisionsNumberTheNameBeforeItsExtension)
{
    EXPECT_EQ(collisionName(u"C:\\w\\Blad_1.2.2026_10_00_00.txt", 2), u"C:\\w\\Blad_1.2.2026_10_00_00_2.txt");
    EXPECT_EQ(collisionName(u"C:\\w.x\\WA_1_", 13), u"C:\\w.x\\WA_1__13");
    EXPECT_EQ(collisionName(u"C:\\w\\a.b.xml", 3), u"C:\\w\\a.b_3.xml");
}

TEST(ResultFileNames, RecordsAreQuotedAndEndInCrLf)
{
    EXPECT_EQ(resultRecord(u"<?xml version=\"1.0\"?>"), u"\"<?xml version=\"1.0\"?>\"\r\n");
    EXPECT_EQ(resultRecord(errorLogText(u"", u"S", u"")), u"\" S\r\"\r\n");
    EXPECT_EQ(errorLogText(u"P", u"S", u"D"), u"P S\rD");
}

}  // namespace
}  // namespace varnok

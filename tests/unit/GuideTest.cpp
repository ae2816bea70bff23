// Both user's guides must explain every text and error number a client can be shown. The texts are taken from the
// sources themselves, so a message added to the code fails here until both guides have it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fields/FieldTable.h"

namespace {

namespace fs = std::filesystem;

const fs::path sourceRoot = VARNOK_SOURCE_DIR;

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The end of the quoted literal or character constant that starts at `open`.
std::size_t endOfQuoted(const std::string& code, std::size_t open)
{
    std::size_t i = open + 1;
    while (i < code.size() && code[i] != code[open])
        i += code[i] == '\\' ? 2 : 1;
    return std::min(i, code.size());
}

// Comments turned into blanks, so that a name or a quote in a comment is never taken for code.
std::string withoutComments(std::string code)
{
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '"' || code[i] == '\'') {
            i = endOfQuoted(code, i);
        } else if (code.compare(i, 2, "//") == 0) {
            for (; i < code.size() && code[i] != '\n'; ++i)
                code[i] = ' ';
        } else if (code.compare(i, 2, "/*") == 0) {
            const std::size_t end = std::min(code.find("*/", i + 2), code.size() - 2) + 2;
            for (; i < end; ++i)
                if (code[i] != '\n')
                    code[i] = ' ';
        }
    }
    return code;
}

struct Literal {
    std::string text;      // UTF-8, escapes undone
    std::size_t end = 0;   // just after it
};

// The string literal (adjacent ones joined) at `pos` after blanks, or nothing when there is none.
std::optional<Literal> literalAt(const std::string& code, std::size_t pos)
{
    std::optional<Literal> found;
    for (;;) {
        while (pos < code.size() && std::isspace(static_cast<unsigned char>(code[pos])))
            ++pos;
        std::size_t open = pos;
        for (const char* prefix : {"u8\"", "u\"", "U\"", "L\"", "\""})
            if (code.compare(pos, std::char_traits<char>::length(prefix), prefix) == 0)
                open = pos + std::char_traits<char>::length(prefix) - 1;
        if (open >= code.size() || code[open] != '"')
            return found;
        const std::size_t close = endOfQuoted(code, open);
        if (!found)
            found.emplace();
        for (std::size_t i = open + 1; i < close; ++i)
            found->text += code[i] == '\\' && (code[i + 1] == '"' || code[i + 1] == '\\') ? code[++i] : code[i];
        found->end = pos = close + 1;
    }
}

std::vector<std::string> literalsOf(const std::string& code)
{
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '\'') {
            i = endOfQuoted(code, i);
        } else if (code[i] == '"') {
            const std::optional<Literal> literal = literalAt(code, i);
            texts.push_back(literal->text);
            i = literal->end - 1;
        }
    }
    return texts;
}

struct NumberedText {
    int number;
    std::string text;  // what the guide must show beside the number; empty when the code builds it at run time
};

// A description's start: its first literal without the blanks and punctuation that lead into the inserted part.
std::string descriptionStart(const Literal& literal, const std::string& code)
{
    std::size_t next = literal.end;
    while (next < code.size() && std::isspace(static_cast<unsigned char>(code[next])))
        ++next;
    std::string text = literal.text;
    if (next < code.size() && code[next] == ')')
        return text;
    while (!text.empty() && (text.back() == ' ' || text.back() == ':' || text.back() == ','))
        text.pop_back();
    return text;
}

// Every Failure::runtimeError(number, description) in `code`; names of numbers are looked up in `definitions`.
std::vector<NumberedText> automationErrorsOf(const std::string& code, const std::string& definitions)
{
    static const std::regex call(R"(runtimeError\(\s*([A-Za-z_][\w:]*|\d+)\s*,)");
    std::vector<NumberedText> errors;
    for (auto it = std::sregex_iterator(code.begin(), code.end(), call); it != std::sregex_iterator(); ++it) {
        std::string number = (*it)[1];
        if (!std::isdigit(static_cast<unsigned char>(number[0]))) {
            const std::size_t colon = number.rfind(':');
            const std::string name = colon == std::string::npos ? number : number.substr(colon + 1);
            std::smatch value;
            if (!std::regex_search(definitions, value, std::regex("\\b" + name + R"(\s*(?:=|\{)\s*(\d+)\b)"))) {
                ADD_FAILURE() << "no value found for the error number " << number;
                continue;
            }
            number = value[1];
        }
        const std::size_t after = static_cast<std::size_t>(it->position(0) + it->length(0));
        const std::optional<Literal> description = literalAt(code, after);
        errors.push_back({std::stoi(number), description ? descriptionStart(*description, code) : std::string()});
    }
    return errors;
}

// The decoder library's answers that the server puts after "Błąd rozkodowania ".
std::vector<NumberedText> decoderReasonsOf(const std::string& code)
{
    static const std::regex reason(R"#(case\s+DecodeError::(\w+)\s*:\s*return\s+u"([^"]+)")#");
    std::vector<NumberedText> reasons;
    for (auto it = std::sregex_iterator(code.begin(), code.end(), reason); it != std::sregex_iterator(); ++it) {
        std::smatch number;
        const std::string name = (*it)[1];
        if (std::regex_search(code, number, std::regex("\\b" + name + R"(\s*=\s*(\d+))")))
            reasons.push_back({std::stoi(number[1]), (*it)[2]});
        else
            ADD_FAILURE() << "no number found for DecodeError::" << name;
    }
    return reasons;
}

struct Sources {
    std::string code;  // every source a client-visible message can come from, comments blanked
    std::string statusTexts;
    std::string decoderErrors;
};

const Sources& sources()
{
    static const Sources all = [] {
        Sources s;
        for (const char* folder : {"loading", "platform", "server", "scan", "pdf"}) {
            if (!fs::is_directory(sourceRoot / folder))
                continue;
            for (const auto& entry : fs::recursive_directory_iterator(sourceRoot / folder))
                if (entry.path().extension() == ".cpp" || entry.path().extension() == ".h")
                    s.code += withoutComments(readText(entry.path())) + '\n';
        }
        s.statusTexts = withoutComments(readText(sourceRoot / "loading" / "StatusTexts.h"));
        s.decoderErrors = withoutComments(readText(sourceRoot / "decoder" / "DecodeError.h"));
        return s;
    }();
    return all;
}

bool hasNumber(const std::string& line, int number)
{
    const std::string digits = std::to_string(number);
    for (std::size_t at = line.find(digits); at != std::string::npos; at = line.find(digits, at + 1)) {
        const bool digitBefore = at > 0 && std::isdigit(static_cast<unsigned char>(line[at - 1]));
        const std::size_t after = at + digits.size();
        if (!digitBefore && !(after < line.size() && std::isdigit(static_cast<unsigned char>(line[after]))))
            return true;
    }
    return false;
}

class Guide : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        const std::string text = readText(sourceRoot / "docs" / GetParam());
        ASSERT_FALSE(text.empty()) << GetParam();
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines_.push_back(line);
            flat_ += line + ' ';
        }
    }

    // A text may be wrapped onto the next line.
    bool mentions(const std::string& text) const { return flat_.find(text) != std::string::npos; }

    // A number and its text on one line: a table row, or a message quoted whole.
    bool explains(const NumberedText& entry) const
    {
        for (const std::string& line : lines_)
            if (hasNumber(line, entry.number) && line.find(entry.text) != std::string::npos)
                return true;
        return false;
    }

    void expectExplained(const std::vector<NumberedText>& entries, const char* what) const
    {
        ASSERT_FALSE(entries.empty()) << "no " << what << " found in the sources";
        for (const NumberedText& entry : entries)
            EXPECT_TRUE(explains(entry)) << GetParam() << " has no line with " << what << ' ' << entry.number
                                         << " and \"" << entry.text << '"';
        std::cout << GetParam() << ": " << entries.size() << ' ' << what << "s checked\n";
    }

private:
    std::vector<std::string> lines_;
    std::string flat_;
};

TEST_P(Guide, ShowsEveryStatusText)
{
    const std::vector<std::string> texts = literalsOf(sources().statusTexts);
    ASSERT_FALSE(texts.empty());
    for (const std::string& text : texts)
        EXPECT_TRUE(mentions(text)) << GetParam() << " lacks the status text \"" << text << '"';
    std::cout << GetParam() << ": " << texts.size() << " status texts checked\n";
}

TEST_P(Guide, ExplainsEveryAutomationError)
{
    static const std::vector<NumberedText> errors = automationErrorsOf(sources().code, sources().code);
    expectExplained(errors, "Automation error");
}

TEST_P(Guide, ExplainsEveryDecoderReason)
{
    expectExplained(decoderReasonsOf(sources().decoderErrors), "decoder reason");
}

TEST_P(Guide, NamesEveryProperty)
{
    int checked = 0;
    for (const varnok::fields::FieldRow& row : varnok::fields::fieldTable()) {
        const std::string name(row.property.begin(), row.property.end());
        EXPECT_TRUE(mentions('`' + name + '`')) << GetParam() << " lacks the property " << name;
        ++checked;
    }
    EXPECT_EQ(checked, 31);
}

// The batch tool's switches, columns and summary, as a clerk meets them.
TEST_P(Guide, DescribesTheBatchTool)
{
    for (const char* text : {"/xlsx", "`Wskazówka`", "`Plik`", "Pliki: 44 z 50 odczytano, 6 nie odczytano, 2 pominięto",
                             "desktop.ini", "`'=HYPERLINK(…).pdf`", "`---`", ">>", "Nie można odczytać folderu",
                             "`FOLDER NIE ISTNIEJE`", "300 dpi"})
        EXPECT_TRUE(mentions(text)) << GetParam() << " lacks \"" << text << '"';
}

// The exit codes a batch file branches on, the messages behind 2, the nightly batch file and its schedule, /watch,
// and the deployment commands: as VarnokScan.exe and the packages have them.
TEST_P(Guide, GivesTheOfficeItsExitCodesAndSchedules)
{
    for (const char* text : {"| 0 |", "| 1 |", "| 2 |", "Pliki: nie było nic do odczytania (0 plików)",
                             "Folder \"…\" nie istnieje: sprawdź jego nazwę w poleceniu", "Nie można zapisać wyników",
                             "`.xlsx`", "`Nr rejestracyjny`", "`Właściciel (C.2.1)`", "`… [obcięto]`",
                             "%LOCALAPPDATA%\\VarnokSrv", "%ProgramFiles(x86)%\\VarnokSrv", "zestawienie-%DZIEN%.log",
                             "schtasks /create", "/sc daily", "/sc onlogon", "/watch", "Ctrl+C",
                             "/qn /norestart /l*v", "VarnokSrv-2.0.7-user.msi", "3010", "1618"})
        EXPECT_TRUE(mentions(text)) << GetParam() << " lacks \"" << text << '"';
}

INSTANTIATE_TEST_SUITE_P(Both, Guide, testing::Values("user-guide.md", "podrecznik-uzytkownika.md"),
                         [](const auto& info) { return std::string(info.param[0] == 'u' ? "English" : "Polish"); });

// The extraction itself, on the shapes the sources use: a wrapped call, a named number, a built description.
TEST(GuideExtraction, FindsNumbersAndDescriptionStarts)
{
    struct Case {
        const char* code;
        int number;
        const char* text;
    };
    const Case cases[] = {
        {R"(throw Failure::runtimeError(7, u"Whole text");)", 7, "Whole text"},
        {"return Failure::runtimeError(imageError::locked,\n    u\"Nie można: \" + quoted(path));", 75, "Nie można"},
        {R"(runtimeError(missing, u"Brak " u"pliku, " + name))", 12, "Brak pliku"},
        {R"(runtimeError(13, reasonText))", 13, ""},
        {R"(runtimeError(13, u"Cytat \"x\"" /* a ( */))", 13, "Cytat \"x\""},
    };
    const std::string definitions = "constexpr int locked = 75; int missing{12};";
    for (const Case& c : cases) {
        const auto found = automationErrorsOf(withoutComments(c.code), definitions);
        ASSERT_EQ(found.size(), 1u) << c.code;
        EXPECT_EQ(found[0].number, c.number) << c.code;
        EXPECT_EQ(found[0].text, c.text) << c.code;
    }
    EXPECT_TRUE(automationErrorsOf(withoutComments("// runtimeError(5, u\"x\")"), definitions).empty());
}

}  // namespace

// A scriptable stand-in for the decoder library, for tests only (never installed). The payload is the script:
//   VARNOK-TEST <RS> log file <RS> answer 1 <RS> answer 2 ...        (RS = character 0x1E)
// Every call appends one line (the payload's length) to the log file, so a test can count calls; call n gets
// answer n, and the last answer repeats. An answer is "xml:" and the text to return, "null" (a null BSTR),
// "empty" (an empty BSTR) or "crash" (an access violation inside the library). The decoder also scribbles over
// its input, as the calling contract allows.

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0, at;
    while ((at = text.find(separator, start)) != std::string::npos) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

int countLines(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char buffer[4096];
    DWORD read = 0;
    int lines = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
        for (DWORD i = 0; i < read; ++i)
            lines += buffer[i] == '\n';
    CloseHandle(file);
    return lines;
}

void appendLine(const std::string& path, const std::string& line)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

BSTR fromAnsi(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(size));
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result, size);
    return result;
}

}  // namespace

extern "C" BSTR __stdcall AZTECDeCode(char* payload)
{
    const std::string script = payload ? payload : "";
    if (payload && *payload)
        payload[0] = 'X';

    const std::vector<std::string> parts = split(script, '\x1E');
    if (parts.size() < 3 || parts[0] != "VARNOK-TEST")
        return fromAnsi("<Dane><Error>9</Error><Error_name>nieznany skrypt</Error_name></Dane>");

    const int call = countLines(parts[1]);
    appendLine(parts[1], std::to_string(script.size()));
    const std::string& answer = parts[std::min<std::size_t>(2 + call, parts.size() - 1)];
    if (answer == "crash")
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    if (answer == "null")
        return nullptr;
    if (answer == "empty")
        return SysAllocString(L"");
    return fromAnsi(answer.rfind("xml:", 0) == 0 ? answer.substr(4) : answer);
}

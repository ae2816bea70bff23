// VarnokSrv.exe: serves FileReader objects when COM starts it, or registers and unregisters itself.

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "platform/Ansi.h"
#include "platform/ComError.h"
#include "platform/ConsoleOutput.h"
#include "platform/ComPtr.h"
#include "platform/DllSearch.h"
#include "Diagnose.h"
#include "Instance.h"
#include "ModulePath.h"
#include "Registration.h"
#include "Server.h"
#include "base/FloatingPoint.h"

namespace {

using varnok::RegistrationScope;

constexpr DWORD serverLeaveWaitMs = 5000;

enum class Command { Serve, Register, Unregister, Diagnose, Usage };

struct Invocation {
    Command command = Command::Serve;
    RegistrationScope scope = RegistrationScope::Machine;
    std::wstring resultFolder;  // /Diagnose's optional argument
};

Invocation parseCommandLine()
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    Invocation invocation;
    for (int i = 1; argv && i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (*arg == L'/' || *arg == L'-')
            ++arg;
        if (!_wcsicmp(arg, L"RegServer"))
            invocation = {Command::Register, RegistrationScope::Machine, {}};
        else if (!_wcsicmp(arg, L"UnregServer"))
            invocation = {Command::Unregister, RegistrationScope::Machine, {}};
        else if (!_wcsicmp(arg, L"RegServerPerUser"))
            invocation = {Command::Register, RegistrationScope::User, {}};
        else if (!_wcsicmp(arg, L"UnregServerPerUser"))
            invocation = {Command::Unregister, RegistrationScope::User, {}};
        else if (!_wcsicmp(arg, L"Diagnose")) {
            invocation.command = Command::Diagnose;
            if (i + 1 < argc)
                invocation.resultFolder = argv[++i];
        }
        else if (_wcsicmp(arg, L"Embedding") && _wcsicmp(arg, L"Automation"))
            invocation.command = Command::Usage;
    }
    ::LocalFree(argv);
    return invocation;
}

// The process has no window; a message goes to the console of whoever started it, if any, or where its output
// was redirected, in the code page the reader shows.
void write(DWORD stream, const std::wstring& text) { varnok::ConsoleOutput(stream).text(text); }

void tell(const std::wstring& text) { write(STD_ERROR_HANDLE, text); }
void report(const std::wstring& text) { write(STD_OUTPUT_HANDLE, text); }

int reportRegistration(const wchar_t* what, HRESULT hr)
{
    if (SUCCEEDED(hr))
        return 0;
    const std::u16string reason = varnok::describeCode(hr);
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    tell(std::wstring(L"VarnokSrv: ") + what + L" failed (" + code + L"): " +
         std::wstring(reason.begin(), reason.end()) + L"\n");
    return static_cast<int>(hr);
}

class ComApartment {
public:
    ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(hr_))
            ::CoUninitialize();
    }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Before anything loads a library: COM starts us in System32, a user from any folder.
    varnok::restrictProcessDllSearch();
    const Invocation invocation = parseCommandLine();
    ComApartment apartment;
    if (FAILED(apartment.result()))
        return static_cast<int>(apartment.result());

    switch (invocation.command) {
    case Command::Register:
        return reportRegistration(L"registration", varnok::registerServer(invocation.scope));
    case Command::Unregister: {
        const int result = reportRegistration(L"unregistration", varnok::unregisterServer(invocation.scope));
        // Uninstall and upgrade run this before removing the files: an idle server still running from them
        // would keep them in place. A server with clients stays, and the installer handles the files in use.
        varnok::instance::askServersToLeave(varnok::modulePath(), serverLeaveWaitMs);
        return result;
    }
    case Command::Diagnose:
        return varnok::diagnose(invocation.resultFolder, report);
    case Command::Usage:
        tell(L"Usage: VarnokSrv.exe [/RegServer | /UnregServer | /RegServerPerUser | /UnregServerPerUser |\n"
             L"                      /Diagnose [result folder]]\n"
             L"Without a switch the server runs and serves VarnokSrv.FileReader and VarnokSrv.ImageReader objects.\n");
        return ERROR_INVALID_PARAMETER;
    case Command::Serve:
        break;
    }
    varnok::Server server;
    return server.run(tell);
}

#include "Server.h"

#include <string>

#include "../platform/ComError.h"
#include "ClassFactory.h"
#include "Identity.h"
#include "Instance.h"
#include "ModulePath.h"
#include "VarnokSrv.h"

namespace varnok {

namespace {

// Started by COM, a client connects within about a second; started by hand, nobody may ever ask.
constexpr UINT startupIdleMs = 3000;
// The class object stays registered this long after the last release, so that a client activating just then
// reaches this process instead of racing its exit.
constexpr UINT releaseGraceMs = 2000;
// How long a second process waits for the instance before leaving. COM may start one process per client that
// activates at the same moment, and fails the activation if the process it started exits before the client has
// reached the running server, which takes a client up to a second.
constexpr DWORD instanceWaitMs = 3000;

Server* currentServer = nullptr;

bool acquired(DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; }

}  // namespace

Server::Server()
{
    currentServer = this;
}

Server::~Server()
{
    currentServer = nullptr;
}

Server& Server::current()
{
    return *currentServer;
}

// One process serves every client of the session. A second one waits for the instance: it gets it when the
// running server is leaving and then takes over, otherwise it leaves without ever registering.
bool Server::acquireInstance()
{
    instanceMutex_ = Handle(::CreateMutexW(nullptr, FALSE, instance::mutexName(instance::integrityLevel()).c_str()));
    if (!instanceMutex_)
        return true;  // without the guard, serving alone is still correct
    return acquired(::WaitForSingleObject(instanceMutex_.get(), instanceWaitMs));
}

int Server::run()
{
    if (!acquireInstance())
        return 0;
    instance::disableComExceptionHandling();
    // Asked by an uninstaller: an idle server leaves at once, so that its files can be removed.
    const DWORD id = ::GetCurrentProcessId();
    Handle leaveRequest(::CreateEventW(nullptr, FALSE, FALSE, instance::leaveEventName(id, true).c_str()));
    if (!leaveRequest)
        leaveRequest = Handle(::CreateEventW(nullptr, FALSE, FALSE, instance::leaveEventName(id, false).c_str()));

    ClassFactory factory;
    DWORD registration = 0;
    HRESULT hr = ::CoRegisterClassObject(CLSID_FileReader, &factory, CLSCTX_LOCAL_SERVER,
                                         REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &registration);
    if (SUCCEEDED(hr))
        hr = ::CoResumeClassObjects();
    if (FAILED(hr)) {
        if (registration)
            ::CoRevokeClassObject(registration);
        ::ReleaseMutex(instanceMutex_.get());
        return static_cast<int>(hr);
    }

    armIdleTimer(startupIdleMs);
    bool registered = true;
    const HANDLE waits[] = {leaveRequest.get()};
    const DWORD waitCount = leaveRequest ? 1 : 0;
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(waitCount, waits, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (waitCount && woken == WAIT_OBJECT_0) {
            if (locks_ != 0)
                continue;  // clients are still served; the installer handles files in use
            break;
        }
        MSG msg;
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            continue;
        if (msg.message == WM_QUIT)
            break;
        if (msg.hwnd == nullptr && msg.message == WM_TIMER && msg.wParam == idleTimer_) {
            ::KillTimer(nullptr, idleTimer_);
            idleTimer_ = 0;
            if (locks_ != 0)
                continue;
            if (registered) {
                shutDown(registration);
                registered = false;
            }
            // An activation may have slipped in before the revocation: serve it out, then leave.
            if (locks_ == 0)
                break;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (registered)
        shutDown(registration);
    typeInfo_.reset();
    return 0;
}

void Server::shutDown(DWORD registration) noexcept
{
    ::CoRevokeClassObject(registration);
    ::ReleaseMutex(instanceMutex_.get());
}

// Not CoAddRefServerProcess: on Windows its release suspends the class objects at once, which would defeat
// the grace period after the last release.
void Server::lock() noexcept
{
    ++locks_;
}

void Server::unlock() noexcept
{
    if (--locks_ == 0)
        armIdleTimer(releaseGraceMs);
}

void Server::armIdleTimer(UINT milliseconds) noexcept
{
    if (idleTimer_)
        ::KillTimer(nullptr, idleTimer_);
    idleTimer_ = ::SetTimer(nullptr, 0, milliseconds, nullptr);
}

ITypeInfo* Server::typeInfo()
{
    if (!typeInfo_) {
        ComPtr<ITypeLib> library;
        check(::LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, library.put()));
        check(library->GetTypeInfoOfGuid(IID__FileReader, typeInfo_.put()));
    }
    return typeInfo_.get();
}

}  // namespace varnok

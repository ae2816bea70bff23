#include "Server.h"

#include "../platform/ComError.h"
#include "ClassFactory.h"
#include "ModulePath.h"
#include "VarnokSrv.h"

namespace varnok {

namespace {

// Started by COM, a client asks within about a second; started by hand, nobody may ever ask.
constexpr UINT startupIdleMs = 10000;
// The class object stays registered this long after the last release, so that a client activating just then
// reaches this process instead of racing its exit (and a second process).
constexpr UINT releaseGraceMs = 2000;
// A successor waits this long for a leaving server to let go of the instance.
constexpr DWORD successorWaitMs = 30000;

constexpr wchar_t instanceMutexName[] = L"Local\\VarnokSrv.FileReader.{7C882FC3-4DBD-488F-9843-FA7021797487}";
constexpr wchar_t closingEventName[] = L"Local\\VarnokSrv.FileReader.Closing.{7C882FC3-4DBD-488F-9843-FA7021797487}";

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
    if (closingEvent_)
        ::CloseHandle(closingEvent_);
    if (instanceMutex_)
        ::CloseHandle(instanceMutex_);
}

Server& Server::current()
{
    return *currentServer;
}

// One server per session serves every client. COM may start several processes for clients that activate at
// once: the extras leave at once, unless the running one is past the point of no return, in which case the
// successor waits for it and takes over.
bool Server::acquireInstance()
{
    instanceMutex_ = ::CreateMutexW(nullptr, FALSE, instanceMutexName);
    closingEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, closingEventName);
    if (!instanceMutex_ || !closingEvent_)
        return true;  // without the guard, serving alone is still correct

    if (!acquired(::WaitForSingleObject(instanceMutex_, 0))) {
        if (::WaitForSingleObject(closingEvent_, 0) != WAIT_OBJECT_0)
            return false;
        if (!acquired(::WaitForSingleObject(instanceMutex_, successorWaitMs)))
            return false;
    }
    ::ResetEvent(closingEvent_);
    return true;
}

int Server::run()
{
    if (!acquireInstance())
        return 0;

    ClassFactory factory;
    DWORD registration = 0;
    HRESULT hr = ::CoRegisterClassObject(CLSID_FileReader, &factory, CLSCTX_LOCAL_SERVER,
                                         REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &registration);
    if (SUCCEEDED(hr))
        hr = ::CoResumeClassObjects();
    if (FAILED(hr)) {
        if (registration)
            ::CoRevokeClassObject(registration);
        ::ReleaseMutex(instanceMutex_);
        return static_cast<int>(hr);
    }

    armIdleTimer(startupIdleMs);
    bool registered = true;
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
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
    ::SetEvent(closingEvent_);
    ::CoRevokeClassObject(registration);
    ::ReleaseMutex(instanceMutex_);
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

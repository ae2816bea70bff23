#include "Server.h"

#include <string>
#include <vector>

#include "platform/ComError.h"
#include "ClassFactory.h"
#include "Identity.h"
#include "Instance.h"
#include "ModulePath.h"
#include "Security.h"
#include "ServedClasses.h"

namespace varnok {

namespace {

// Started by COM, a client connects within about a second; started by hand, nobody may ever ask.
constexpr UINT startupIdleMs = 3000;
// The class object stays registered this long after the last release, so that a client activating just then
// reaches this process instead of racing its exit.
constexpr UINT releaseGraceMs = 2000;
// How long the process outlives its class objects for an activation already under way.
constexpr UINT revokedGraceMs = 500;
// How long a second process waits for the instance before leaving. COM may start one process per client that
// activates at the same moment, and fails the activation if the process it started exits before the client has
// reached the running server, which takes a client up to a second.
constexpr DWORD instanceWaitMs = 3000;

// Posted to the main thread when the last lock goes, from whichever thread gave it up: the idle timer is the main
// thread's.
constexpr UINT lastLockReleased = WM_APP + 1;

Server* currentServer = nullptr;

bool acquired(DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; }

}  // namespace

Server::Server()
{
    currentServer = this;
}

Server::~Server()
{
    releaseKeptStubs();
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

int Server::run(void (*tell)(const std::wstring& text))
{
    if (!acquireInstance())
        return 0;
    // Before anything is marshaled, or COM settles the process's security from the machine's defaults.
    if (const HRESULT hr = security::applyProcessSecurity(); FAILED(hr)) {
        const std::wstring reason = security::refusalText(hr);
        security::reportToEventLog(reason);
        tell(reason + L"\n");
        shutDown();
        return static_cast<int>(hr);
    }
    instance::disableComExceptionHandling();
    // Asked by an uninstaller: an idle server leaves at once, so that its files can be removed.
    const DWORD id = ::GetCurrentProcessId();
    Handle leaveRequest(::CreateEventW(nullptr, FALSE, FALSE, instance::leaveEventName(id, true).c_str()));
    if (!leaveRequest)
        leaveRequest = Handle(::CreateEventW(nullptr, FALSE, FALSE, instance::leaveEventName(id, false).c_str()));

    // The kept objects' locks are not clients': the idle count leaves them out.
    keptLocks_ = static_cast<LONG>(keptStubs_.keep());
    locks_ -= keptLocks_;
    if (const HRESULT hr = registerClassObjects(); FAILED(hr)) {
        shutDown();
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
            if (revokeWhenIdle(registered))
                break;
            continue;
        }
        MSG msg;
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            continue;
        if (msg.message == WM_QUIT)
            break;
        if (msg.hwnd == nullptr && msg.message == lastLockReleased) {
            if (locks_ == 0)
                armIdleTimer(releaseGraceMs);
            continue;
        }
        if (msg.hwnd == nullptr && msg.message == WM_TIMER && msg.wParam == idleTimer_) {
            ::KillTimer(nullptr, idleTimer_);
            idleTimer_ = 0;
            if (locks_ != 0)
                continue;
            if (revokeWhenIdle(registered))
                break;
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (registered)
        shutDown();
    releaseKeptStubs();
    typeInfos_.clear();
    return 0;
}

// Their objects give their locks back as they go.
void Server::releaseKeptStubs() noexcept
{
    locks_ += std::exchange(keptLocks_, 0);
    keptStubs_.release();
}

// A client that reached the class object just before the revocation still calls it: the process stays a moment
// longer to serve that activation out, then leaves once nothing is left.
bool Server::revokeWhenIdle(bool& registered) noexcept
{
    if (registered) {
        shutDown();
        registered = false;
        armIdleTimer(revokedGraceMs);
        return false;
    }
    return locks_ == 0;
}

// All classes or none: a client must never reach a server that serves only part of what is registered.
HRESULT Server::registerClassObjects() noexcept
{
    try {
        const auto classes = servedClasses();
        // COM may still release a class object while the apartment closes, after this server is gone (Wine
        // does, for a client that died): they live as long as the process.
        static std::vector<ClassFactory> factories(classes.begin(), classes.end());
        registrations_.reserve(classes.size());
        std::vector<MultithreadedApartment::Registration> multithreaded;
        for (std::size_t i = 0; i < classes.size(); ++i) {
            const ServedClass& served = classes[i];
            // Its interface's type information is loaded here, before any call can ask for it from another thread.
            typeInfo(*served.iid);
            if (served.multithreaded) {
                multithreaded.push_back({served.clsid, &factories[i]});
                continue;
            }
            DWORD registration = 0;
            const HRESULT hr = ::CoRegisterClassObject(*served.clsid, &factories[i], CLSCTX_LOCAL_SERVER,
                                                       REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &registration);
            if (FAILED(hr))
                return hr;
            registrations_.push_back(registration);
        }
        if (const HRESULT hr = multithreaded_.registerClassObjects(std::move(multithreaded)); FAILED(hr))
            return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const Failure& failure) {
        return failure.code();
    }
    return ::CoResumeClassObjects();
}

void Server::shutDown() noexcept
{
    for (const DWORD registration : registrations_)
        ::CoRevokeClassObject(registration);
    registrations_.clear();
    multithreaded_.revoke();
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
        ::PostThreadMessageW(mainThread_, lastLockReleased, 0, 0);
}

void Server::armIdleTimer(UINT milliseconds) noexcept
{
    if (idleTimer_)
        ::KillTimer(nullptr, idleTimer_);
    idleTimer_ = ::SetTimer(nullptr, 0, milliseconds, nullptr);
}

ITypeInfo* Server::typeInfo(REFIID iid)
{
    const std::lock_guard guard(typeInfoMutex_);
    for (const auto& [known, info] : typeInfos_)
        if (known == iid)
            return info.get();
    const ServedClass* served = servedClassOf(iid);
    if (!served)
        throw Failure(E_NOINTERFACE, describeCode(E_NOINTERFACE));
    ComPtr<ITypeLib> library;
    check(::LoadTypeLibEx(typeLibPath(modulePath(), *served).c_str(), REGKIND_NONE, library.put()));
    ComPtr<ITypeInfo> info;
    check(library->GetTypeInfoOfGuid(iid, info.put()));
    typeInfos_.emplace_back(iid, info);
    return info.get();
}

}  // namespace varnok

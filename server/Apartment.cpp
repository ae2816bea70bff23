#include "Apartment.h"

#include <objbase.h>

#include <system_error>

namespace varnok {

namespace {

// Keeps the process's multithreaded apartment until the process leaves (Windows 8 and later have the call): the
// thread below leaves the apartment when it revokes the class objects, and an ImageReader that an activation made a
// moment before must still be served then, not cut off from its stub. Whether it took is remembered: without it,
// the thread stays in the apartment instead.
bool keepApartmentForTheProcess() noexcept
{
    using Increment = HRESULT(WINAPI*)(CO_MTA_USAGE_COOKIE*);
    const HMODULE ole = ::GetModuleHandleW(L"ole32.dll");
    const auto increment =
        ole ? reinterpret_cast<Increment>(reinterpret_cast<void*>(::GetProcAddress(ole, "CoIncrementMTAUsage")))
            : nullptr;
    CO_MTA_USAGE_COOKIE cookie = nullptr;
    return increment && SUCCEEDED(increment(&cookie));
}

}  // namespace

HRESULT MultithreadedApartment::registerClassObjects(std::vector<Registration> registrations) noexcept
{
    registered_ = Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    leave_ = Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!registered_ || !leave_)
        return HRESULT_FROM_WIN32(::GetLastError());
    try {
        thread_ = std::thread(&MultithreadedApartment::run, this, std::move(registrations));
    } catch (const std::system_error&) {
        return E_OUTOFMEMORY;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    ::WaitForSingleObject(registered_.get(), INFINITE);
    return result_;
}

void MultithreadedApartment::run(std::vector<Registration> registrations) noexcept
{
    result_ = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(result_)) {
        ::SetEvent(registered_.get());
        return;
    }
    const bool kept = keepApartmentForTheProcess();
    std::vector<DWORD> cookies;
    for (const Registration& registration : registrations) {
        DWORD cookie = 0;
        result_ = ::CoRegisterClassObject(*registration.clsid, registration.factory, CLSCTX_LOCAL_SERVER,
                                          REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
        if (FAILED(result_))
            break;
        cookies.push_back(cookie);
    }
    ::SetEvent(registered_.get());
    // A class object is revoked from its own apartment.
    if (SUCCEEDED(result_))
        ::WaitForSingleObject(leave_.get(), INFINITE);
    for (const DWORD cookie : cookies)
        ::CoRevokeClassObject(cookie);
    if (kept || FAILED(result_))
        ::CoUninitialize();
}

void MultithreadedApartment::revoke() noexcept
{
    if (!thread_.joinable())
        return;
    ::SetEvent(leave_.get());
    thread_.join();
}

}  // namespace varnok

#pragma once
// Turning failing HRESULTs into Failure exceptions and back, with descriptions carried by the COM error info.

#include <windows.h>

#include <new>

#include "ComPtr.h"
#include "base/Failure.h"

namespace varnok {

// The description a failing COM component left in the error info, or the system's text for the code. Only for a
// COM call that has just failed: anything else might pick up an error object left over on the thread.
std::u16string describeFailure(HRESULT hr);

// The system's text for the code alone.
std::u16string describeCode(HRESULT hr);

// Throws the failure of a component call, keeping its HRESULT unchanged.
inline void check(HRESULT hr)
{
    if (FAILED(hr))
        throw Failure(hr, describeFailure(hr));
}

// Throws the failure of a Win32 call that returns its error code, described from that code.
void checkWin32(LONG status);

// Throws the failure of a Win32 call that reports through GetLastError.
[[noreturn]] void throwLastError();

// Hands a failure to the client: its description goes into the thread's error info, its code is returned. Never
// throws: without memory for the description, the code alone reaches the client.
HRESULT reportFailure(const Failure& failure, REFIID iid, const wchar_t* source) noexcept;
HRESULT reportFailure(HRESULT code, REFIID iid, const wchar_t* source) noexcept;

// Runs the body of an interface method: no C++ exception crosses the boundary.
template <typename Body>
HRESULT guardCall(REFIID iid, const wchar_t* source, Body&& body) noexcept
{
    try {
        ::SetErrorInfo(0, nullptr);
        body();
        return S_OK;
    } catch (const Failure& failure) {
        return reportFailure(failure, iid, source);
    } catch (const std::bad_alloc&) {
        return reportFailure(E_OUTOFMEMORY, iid, source);
    } catch (...) {
        return reportFailure(E_UNEXPECTED, iid, source);
    }
}

}  // namespace varnok

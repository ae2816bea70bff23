#pragma once
// Turning failing HRESULTs into Failure exceptions and back, with descriptions carried by the COM error info.

#include <windows.h>

#include <new>

#include "ComPtr.h"
#include "Failure.h"

namespace varnok {

// The description a failing component left in the error info, or the system's text for the code.
std::u16string describeFailure(HRESULT hr);

// Throws the failure of a component call, keeping its HRESULT unchanged.
inline void check(HRESULT hr)
{
    if (FAILED(hr))
        throw Failure(hr, describeFailure(hr));
}

// Hands a failure to the client: its description goes into the thread's error info, its code is returned.
HRESULT reportFailure(const Failure& failure, REFIID iid, const wchar_t* source);

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
        return reportFailure(Failure(E_OUTOFMEMORY, describeFailure(E_OUTOFMEMORY)), iid, source);
    } catch (...) {
        return reportFailure(Failure(E_UNEXPECTED, describeFailure(E_UNEXPECTED)), iid, source);
    }
}

}  // namespace varnok

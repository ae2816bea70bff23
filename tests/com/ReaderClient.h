#pragma once
// A FileReader as a client sees it, called either through the vtable or by name through IDispatch, so that one
// set of expectations runs against both.

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnok::test {

struct Answer {
    HRESULT hr = E_FAIL;          // the member's HRESULT (for IDispatch: the exception's scode)
    bool isNull = true;           // no string came back
    std::wstring text;            // the string value, when there is one
    std::wstring description;     // the error description that reached the client
    HRESULT dispatchHr = S_OK;    // what Invoke itself returned (IDispatch only)
};

using Argument = std::optional<std::wstring>;  // nullopt passes a null BSTR

class ReaderClient {
public:
    virtual ~ReaderClient() = default;
    virtual const char* name() const = 0;
    // Whether failure descriptions reach this client. Wine 8 does not carry IErrorInfo across processes for
    // vtable calls (GetErrorInfo gives S_FALSE); IDispatch carries it in EXCEPINFO.
    virtual bool carriesDescriptions() const = 0;

    virtual Answer get(const std::wstring& property) = 0;
    virtual Answer readData(const Argument& path) = 0;
    virtual Answer readCodetData(const Argument& payload, const Argument& folder) = 0;
    virtual Answer closeData() = 0;
};

enum class Binding { Vtable, Dispatch };

// A new FileReader activated out of process.
std::unique_ptr<ReaderClient> createReader(Binding binding);

// What one ImageReader.ReadCodet call gave a client.
struct Reply {
    HRESULT hr = E_FAIL;
    std::wstring text;
    std::wstring description;
};

// ImageReader.ReadCodet on one file, by name through IDispatch, from a reader activated for the call.
Reply readByName(const std::wstring& path);

// The 31 property names in interface order.
const std::vector<std::wstring>& propertyNames();

}  // namespace varnok::test

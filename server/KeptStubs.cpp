#include "KeptStubs.h"

#include <oleauto.h>

#include <new>

#include "ServedClasses.h"

namespace varnok {

namespace {

bool underWine() noexcept
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace

std::size_t KeptStubs::keep() noexcept
{
    if (!underWine())
        return 0;
    std::size_t served = 0;
    try {
        objects_.reserve(servedClasses().size() + 1);
        marshaled_.reserve(4 * servedClasses().size() + 2);
        for (const ServedClass& c : servedClasses()) {
            ComPtr<IUnknown> object;
            if (FAILED(c.create(IID_IUnknown, object.putVoid())))
                continue;
            ++served;
            // Every interface a client can ask of our objects across the process boundary.
            for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_ISupportErrorInfo, c.iid})
                keepOne(object, *iid);
            objects_.push_back(std::move(object));
        }
        // Failed calls hand their clients an error object of this process.
        ComPtr<ICreateErrorInfo> error;
        if (SUCCEEDED(::CreateErrorInfo(error.put()))) {
            const auto object = error.query<IUnknown>(IID_IUnknown);
            keepOne(object, IID_IErrorInfo);
            objects_.push_back(object);
        }
    } catch (const std::bad_alloc&) {
    }
    return served;
}

void KeptStubs::keepOne(const ComPtr<IUnknown>& object, REFIID iid) noexcept
{
    ComPtr<IStream> stream;
    if (!object || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())))
        return;
    if (SUCCEEDED(::CoMarshalInterface(stream.get(), iid, object.get(), MSHCTX_LOCAL, nullptr, MSHLFLAGS_TABLESTRONG)))
        marshaled_.push_back(std::move(stream));  // capacity reserved: no throw
}

void KeptStubs::release() noexcept
{
    // Only at the end of the server's run: nobody can be calling by now.
    for (const ComPtr<IUnknown>& object : objects_)
        ::CoDisconnectObject(object.get(), 0);
    marshaled_.clear();
    objects_.clear();
}

}  // namespace varnok

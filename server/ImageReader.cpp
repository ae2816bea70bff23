#include "ImageReader.h"

#include "loading/ImageCodet.h"

namespace varnok {

ImageReader::ImageReader() : DispatchObject(IID__ImageReader, L"VarnokSrv.ImageReader") {}

HRESULT STDMETHODCALLTYPE ImageReader::ReadCodet(BSTR imagePath, BSTR* codet) noexcept
{
    return call(codet, [&] { return varnok::ReadCodet(workers_, Bstr::viewOf(imagePath)); });
}

}  // namespace varnok

#pragma once
// The ImageReader object: an image file in, the text of its Aztec symbol out, ready for ReadCodetData.

#include <windows.h>
#include <oaidl.h>

#include "DispatchObject.h"
#include "VarnokSrvImage.h"

namespace varnok {

class ImageReader final : public DispatchObject<_ImageReader> {
public:
    ImageReader();

    HRESULT STDMETHODCALLTYPE ReadCodet(BSTR imagePath, BSTR* codet) noexcept override;
};

}  // namespace varnok

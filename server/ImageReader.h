#pragma once
// The ImageReader object: an image file in, the text of its Aztec symbol out, ready for ReadCodetData.

#include <windows.h>
#include <oaidl.h>

#include "DispatchObject.h"
#include "VarnokSrvImage.h"
#include "sandbox/Pool.h"

namespace varnok {

class ImageReader final : public DispatchObject<_ImageReader> {
public:
    ImageReader();

    HRESULT STDMETHODCALLTYPE ReadCodet(BSTR imagePath, BSTR* codet) noexcept override;

private:
    // This object's own: its client's files only, ended when the client lets the object go.
    sandbox::WorkerPool workers_;
};

}  // namespace varnok

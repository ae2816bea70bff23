#include "ServedClasses.h"

#include "ClassFactory.h"
#include "FileReader.h"
#include "Identity.h"
#include "ImageReader.h"

namespace varnok {

std::span<const ServedClass> servedClasses()
{
    static const ServedClass classes[] = {
        {&CLSID_FileReader, &IID__FileReader, identity::progId, identity::clsidText, identity::iidText,
         identity::libidText, L"_FileReader", L"VarnokSrv", 1, &createObject<FileReader>, false},
        {&CLSID_ImageReader, &IID__ImageReader, identity::image::progId, identity::image::clsidText,
         identity::image::iidText, identity::image::libidText, L"_ImageReader", L"VarnokSrvImage", 2,
         &createObject<ImageReader>, true},
    };
    return classes;
}

}  // namespace varnok

// The library the missing-dependency decoder imports from, for planting where the system's own search would
// find it.
#include <windows.h>

extern "C" __declspec(dllexport) BSTR VarnokAbsentDecode(char*)
{
    return nullptr;
}

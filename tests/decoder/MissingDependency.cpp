// A decoder library that imports from a library that exists nowhere: the system refuses to load it.
#include <windows.h>

extern "C" __declspec(dllimport) BSTR VarnokAbsentDecode(char* payload);

extern "C" __declspec(dllexport) BSTR __stdcall AZTECDeCode(char* payload)
{
    return VarnokAbsentDecode(payload);
}

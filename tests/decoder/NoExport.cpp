// A library by the decoder's file name that lacks its entry point.
extern "C" __declspec(dllexport) int __stdcall SomethingElse(int value)
{
    return value;
}

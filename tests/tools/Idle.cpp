// Keeps one Wine process alive for a whole test run, so that Wine's services start once, not for every client.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ::Sleep(INFINITE);
    return 0;
}

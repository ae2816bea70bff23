// Stands in for VarnokImageWorker.exe as Windows ends a worker whose job's processor-time limit ran out: it goes
// without a reply, with the exit code ERROR_NOT_ENOUGH_QUOTA. (Wine enforces no job limits, so the real worker
// never ends this way under Wine.)
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ::ExitProcess(ERROR_NOT_ENOUGH_QUOTA);
}

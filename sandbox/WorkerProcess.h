#pragma once
// One VarnokImageWorker.exe, started beside the running program in a box of its own (Box.h), serving one read at a
// time over its channel, within the caller's wall clock.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Box.h"
#include "Channel.h"
#include "worker/ReadFile.h"

namespace varnok::sandbox {

// Where the worker is: beside the running program.
std::wstring workerPath();

class WorkerProcess {
public:
    // Throws ImageFileError(NoWorker) when the program is missing or cannot be started, Win32Failure otherwise.
    static std::unique_ptr<WorkerProcess> start();
    // A worker never outlives its owner.
    ~WorkerProcess();

    bool alive() const;
    const Protections& protections() const { return protections_; }

    // The file whose first `bytes` bytes `section` holds, read by the worker. A worker that overruns the wall clock,
    // dies or answers what no worker of ours would is ended, and the read fails (TimedOut, Unreadable).
    worker::FileOutcome read(HANDLE section, std::uint64_t bytes, std::uint64_t fileSize);

private:
    [[noreturn]] void abandon(ImageFileError::Kind kind, DWORD error);
    // The worker broke off without a reply: ended by its job's time limit, or crashed.
    [[noreturn]] void abandonBroken();

    Handle process_, job_;
    Channel channel_;
    Protections protections_;
    bool healthy_ = true;
};

}  // namespace varnok::sandbox

#pragma once
// An image file or PDF scan read by a worker: the caller opens the file and hands its bytes over in a section; the
// worker does everything that interprets them. Safe to call from several threads at once.

#include <string_view>

#include "Pool.h"
#include "worker/ReadFile.h"

namespace varnok::sandbox {

// The file's symbol, read by one of the caller's workers, or why not: NotFound and NoAccess from opening and reading
// it here, TimedOut when the wall clock or the job's time limit ended the worker, NoWorker when there is none to
// start, the rest as the worker found it.
worker::FileOutcome readImageFile(WorkerPool& workers, std::wstring_view path);

}  // namespace varnok::sandbox

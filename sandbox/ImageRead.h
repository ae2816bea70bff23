#pragma once
// An image file or PDF scan read by a worker: the caller opens the file and hands its bytes over in a section; the
// worker does everything that interprets them. Safe to call from several threads at once.

#include <string_view>

#include "worker/ReadFile.h"

namespace varnok::sandbox {

// The file's symbol, or why not: NotFound and NoAccess from opening and reading it here, TimedOut when the wall
// clock ended the worker, NoWorker when there is none to start, the rest as the worker found it.
worker::FileOutcome readImageFile(std::wstring_view path);

}  // namespace varnok::sandbox

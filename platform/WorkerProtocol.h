#pragma once
// What the server and its image worker say to each other over their pipe: a request, then a reply. The file's bytes
// go in a section of the caller's, which the worker may only read; the gray pixels come back in a section of the
// worker's, which the caller takes over. Neither crosses the pipe: a pipe under Wine moves a page of pixels in a
// quarter of a second, and on Windows a section is one copy fewer. Both ends are built from this one header.

#include <cstdint>

namespace varnok::worker {

inline constexpr std::uint32_t requestMagic = 0x51524B56;  // "VKRQ"
inline constexpr std::uint32_t replyMagic = 0x50524B56;    // "VKRP"

struct Request {
    std::uint32_t magic = requestMagic;
    std::uint32_t reserved = 0;
    std::uint64_t maxPixels = 0;
    std::uint64_t bytes = 0;    // the image file's size
    std::uint64_t section = 0;  // the worker's read-only handle of the section that holds them (0 when empty)
};

struct Reply {
    std::uint32_t magic = replyMagic;
    std::uint32_t outcome = 0;  // 0: decoded; otherwise 1 + ImageFileError::Kind
    std::int32_t code = 0;      // the HRESULT behind a failure
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t reserved = 0;
    std::uint64_t section = 0;  // the worker's handle of the section that holds width x height gray bytes
};

// Larger files are refused before the worker is asked: it holds the whole file while it decodes.
inline constexpr std::uint64_t maxFileBytes = 512ull << 20;

}  // namespace varnok::worker

#pragma once
// Decompressor for the NRV2E stream format (8-bit variant) that carries a certificate's text. Every read and
// write is bounds-checked: a corrupt or hostile stream ends with an error, never outside the buffers.

#include <cstddef>
#include <cstdint>
#include <span>

namespace varnok::decoder {

enum class Nrv2eResult {
    Ok,
    InputOverrun,      // the stream ended before its end marker
    OutputOverrun,     // the stream would write more than the output holds
    LookBehindOverrun, // a match reaches before the start of the output, or its offset is absurd
    InputNotConsumed,  // bytes follow the end marker
    OutputShort,       // the end marker came before the output was full
};

// Decompresses `in` into exactly `out.size()` bytes. On any result but Ok the output holds whatever was written
// before the damage showed.
Nrv2eResult decompressNrv2e(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace varnok::decoder

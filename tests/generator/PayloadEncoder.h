#pragma once
// Builds certificate payloads the way a certificate's Aztec code carries them, with the reference compressor:
// UTF-16LE text, NRV2E-compressed, a 4-byte little-endian length in front, all in Base64.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnok::generator {

std::vector<std::uint8_t> utf16le(std::u16string_view text);

// The reference compressor at its best level.
std::vector<std::uint8_t> compressNrv2e(std::span<const std::uint8_t> data);

// Length header followed by the compressed stream.
std::vector<std::uint8_t> payloadBytes(std::u16string_view text);

std::string toBase64(std::span<const std::uint8_t> bytes);
// Strict: the standard alphabet, "=" padding, nothing else.
std::optional<std::vector<std::uint8_t>> fromBase64(std::string_view text);

inline std::string encodePayload(std::u16string_view text) { return toBase64(payloadBytes(text)); }

}  // namespace varnok::generator

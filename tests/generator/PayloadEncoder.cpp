#include "PayloadEncoder.h"

#include <ucl/ucl.h>

#include <stdexcept>

namespace varnok::generator {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c)
{
    for (int i = 0; i < 64; ++i)
        if (alphabet[i] == c)
            return i;
    return -1;
}

}  // namespace

std::vector<std::uint8_t> utf16le(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::vector<std::uint8_t> compressNrv2e(std::span<const std::uint8_t> data)
{
    static const bool initialised = ucl_init() == UCL_E_OK;
    if (!initialised)
        throw std::runtime_error("ucl_init failed");
    std::vector<std::uint8_t> out(data.size() + data.size() / 8 + 256);
    ucl_uint outLength = static_cast<ucl_uint>(out.size());
    const int result = ucl_nrv2e_99_compress(data.data(), static_cast<ucl_uint>(data.size()), out.data(), &outLength,
                                             nullptr, 10, nullptr, nullptr);
    if (result != UCL_E_OK)
        throw std::runtime_error("ucl_nrv2e_99_compress failed: " + std::to_string(result));
    out.resize(outLength);
    return out;
}

std::vector<std::uint8_t> payloadBytes(std::u16string_view text)
{
    const std::vector<std::uint8_t> raw = utf16le(text);
    const auto length = static_cast<std::uint32_t>(raw.size());
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    const std::vector<std::uint8_t> stream = compressNrv2e(raw);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return bytes;
}

std::string toBase64(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (left > 1)
            group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (left > 2)
            group |= bytes[i + 2];
        text += alphabet[group >> 18 & 63];
        text += alphabet[group >> 12 & 63];
        text += left > 1 ? alphabet[group >> 6 & 63] : '=';
        text += left > 2 ? alphabet[group & 63] : '=';
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> fromBase64(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && last && j >= 2 && (j == 3 || text[i + 3] == '=')) {
                ++padding;
                group <<= 6;
                continue;
            }
            const int value = sextet(c);
            if (value < 0 || padding)
                return std::nullopt;
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2)
            bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        if (padding < 1)
            bytes.push_back(static_cast<std::uint8_t>(group));
    }
    return bytes;
}

}  // namespace varnok::generator

#include "Nrv2e.h"

namespace varnok::decoder {

namespace {

// Offset prefixes that grow beyond this cannot address any output we accept.
constexpr std::uint32_t maxOffsetPrefix = 0xFFFFFFu + 3;
constexpr std::uint32_t endMarker = 0xFFFFFFFFu;
// Matches this far back are one byte longer than their length code says.
constexpr std::uint32_t farOffset = 0x500;

struct Overrun {
    Nrv2eResult result;
};

// Bits come most significant first from one input byte at a time; whole bytes (literals, offset bytes) are
// taken from the same input at the current position, between bit-buffer refills.
class Stream {
public:
    explicit Stream(std::span<const std::uint8_t> in) : in_(in) {}

    std::uint32_t bit()
    {
        // The low 8 bits hold the bits still to deliver followed by a marker 1 bit; 0x80 alone means "empty".
        if ((buffer_ & 0x7F) == 0)
            buffer_ = (static_cast<std::uint32_t>(byte()) << 1) | 1;
        else
            buffer_ <<= 1;
        return (buffer_ >> 8) & 1;
    }

    std::uint8_t byte()
    {
        if (at_ >= in_.size())
            throw Overrun{Nrv2eResult::InputOverrun};
        return in_[at_++];
    }

    bool consumed() const { return at_ == in_.size(); }

private:
    std::span<const std::uint8_t> in_;
    std::size_t at_ = 0;
    std::uint32_t buffer_ = 0;
};

}  // namespace

Nrv2eResult decompressNrv2e(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    Stream stream(in);
    std::size_t written = 0;
    std::uint32_t lastOffset = 1;
    try {
        for (;;) {
            while (stream.bit()) {
                const std::uint8_t literal = stream.byte();
                if (written >= out.size())
                    return Nrv2eResult::OutputOverrun;
                out[written++] = literal;
            }

            std::uint32_t prefix = 1;
            for (;;) {
                prefix = prefix * 2 + stream.bit();
                if (prefix > maxOffsetPrefix)
                    return Nrv2eResult::LookBehindOverrun;
                if (stream.bit())
                    break;
                prefix = (prefix - 1) * 2 + stream.bit();
            }

            std::uint32_t offset;
            std::uint32_t length;
            if (prefix == 2) {
                offset = lastOffset;
                length = stream.bit();
            } else {
                const std::uint32_t value = (prefix - 3) * 256 + stream.byte();
                if (value == endMarker)
                    break;
                length = (value & 1) ^ 1;
                offset = (value >> 1) + 1;
                lastOffset = offset;
            }

            if (length)
                length = 1 + stream.bit();
            else if (stream.bit())
                length = 3 + stream.bit();
            else {
                length = 1;
                do {
                    length = length * 2 + stream.bit();
                    if (length > out.size() || length > 0x7FFFFFFFu)
                        return Nrv2eResult::OutputOverrun;
                } while (!stream.bit());
                length += 3;
            }
            length += offset > farOffset;
            ++length;  // a match copies one byte more than its coded length

            if (offset > written)
                return Nrv2eResult::LookBehindOverrun;
            if (length > out.size() - written)
                return Nrv2eResult::OutputOverrun;
            // Byte by byte on purpose: an offset shorter than the length repeats the bytes just written.
            const std::uint8_t* from = out.data() + written - offset;
            std::uint8_t* to = out.data() + written;
            for (std::uint32_t i = 0; i < length; ++i)
                to[i] = from[i];
            written += length;
        }
    } catch (const Overrun& overrun) {
        return overrun.result;
    }
    if (!stream.consumed())
        return Nrv2eResult::InputNotConsumed;
    return written == out.size() ? Nrv2eResult::Ok : Nrv2eResult::OutputShort;
}

}  // namespace varnok::decoder

#pragma once
// What a caller and its image worker say to each other over their pipe: a request, then a reply. The file's bytes
// go in a section of the caller's, which the worker may only read; only the request and the reply (the symbol's
// text, or a typed failure) cross the pipe, and nothing of the worker's is ever mapped by the caller. Portable,
// so that the reply's checks are tested natively: a worker that a hostile file took over may send anything.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ReadFile.h"

namespace varnok::worker {

inline constexpr std::uint32_t requestMagic = 0x51524B56;  // "VKRQ"
inline constexpr std::uint32_t replyMagic = 0x32524B56;    // "VKR2"

struct Request {
    std::uint32_t magic = requestMagic;
    std::uint32_t reserved = 0;
    std::uint64_t fileSize = 0;  // the file's size
    std::uint64_t bytes = 0;     // how many of its first bytes the section holds: all, unless the file is too large
    std::uint64_t section = 0;   // the worker's read-only handle of the section (0 when empty)
};

struct ReplyHeader {
    std::uint32_t magic = replyMagic;
    std::uint32_t outcome = 0;  // 0: a read (`failure` says how it went); otherwise 1 + ImageFileError::Kind
    std::int32_t code = 0;      // the HRESULT behind a failure
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t failure = 0;  // aztec::ReadFailure
    std::uint32_t flags = 0;    // see replyFlag
    std::int32_t sequenceIndex = 0;
    std::int32_t sequenceCount = 0;
    std::uint32_t refusal = 0;  // pdf::Refusal
    std::int32_t page = 0;
    std::int32_t object = 0;
    // The lengths of what follows the header, in this order: the symbol's bytes, the reader's reason, the sequence
    // identifier, the format's name, the PDF detail.
    std::uint32_t lengths[5] = {};
};

namespace replyFlag {
inline constexpr std::uint32_t readerInitialisation = 1;
inline constexpr std::uint32_t gs1 = 2;
inline constexpr std::uint32_t sequence = 4;
inline constexpr std::uint32_t pdf = 8;
}  // namespace replyFlag

// An Aztec symbol holds at most some 3,800 bytes; the texts are a sentence each.
inline constexpr std::uint32_t maxReplyBytes = 64 * 1024;
inline constexpr std::uint32_t maxReplyText = 4096;

// Larger files are handed over by their first bytes only: the worker holds the whole file while it reads it.
inline constexpr std::uint64_t maxFileBytes = 512ull << 20;
inline constexpr std::uint64_t headBytes = 256 * 1024;

std::vector<std::uint8_t> encodeReply(const FileOutcome& outcome);

// How many bytes follow the header, or nothing when the header is not a sound one.
std::optional<std::uint32_t> payloadBytes(const ReplyHeader& header);

// The outcome the worker sent, or nothing when the reply is not a sound one.
std::optional<FileOutcome> decodeReply(const ReplyHeader& header, std::span<const std::uint8_t> payload);

// Why a worker that broke off without a reply went. Its job's processor-time limit ends it with the exit code
// ERROR_NOT_ENOUGH_QUOTA: the file took too long, which is not the same as a damaged file.
enum class Departure { Crashed, OutOfTime };
inline constexpr std::uint32_t jobQuotaExitCode = 1816;  // ERROR_NOT_ENOUGH_QUOTA
Departure departureOf(std::uint32_t exitCode);

}  // namespace varnok::worker

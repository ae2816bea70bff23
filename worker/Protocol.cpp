#include "Protocol.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace varnok::worker {

namespace {

using Kind = ImageFileError::Kind;

void append(std::vector<std::uint8_t>& out, const std::string& text, std::uint32_t limit, std::uint32_t& length)
{
    length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), limit));
    out.insert(out.end(), text.begin(), text.begin() + length);
}

}  // namespace

std::vector<std::uint8_t> encodeReply(const FileOutcome& outcome)
{
    ReplyHeader header;
    std::vector<std::uint8_t> payload;
    std::string none;
    if (outcome.error) {
        const ImageFileError& error = *outcome.error;
        header.outcome = 1 + static_cast<std::uint32_t>(error.kind());
        header.code = static_cast<std::int32_t>(error.code());
        header.width = error.width();
        header.height = error.height();
        append(payload, none, 0, header.lengths[0]);
        append(payload, none, 0, header.lengths[1]);
        append(payload, none, 0, header.lengths[2]);
        append(payload, std::string(error.format()), maxReplyText, header.lengths[3]);
        if (const auto* pdf = error.pdf()) {
            header.flags |= replyFlag::pdf;
            header.refusal = static_cast<std::uint32_t>(pdf->refusal);
            header.page = pdf->page;
            header.object = pdf->object;
            append(payload, pdf->detail, maxReplyText, header.lengths[4]);
        }
    } else {
        const aztec::ReadResult& read = outcome.read;
        header.failure = static_cast<std::uint32_t>(read.failure);
        header.flags = (read.readerInitialisation ? replyFlag::readerInitialisation : 0) |
                       (read.gs1 ? replyFlag::gs1 : 0) | (read.sequence ? replyFlag::sequence : 0);
        append(payload, read.bytes, maxReplyBytes - 3 * maxReplyText, header.lengths[0]);
        append(payload, read.reason, maxReplyText, header.lengths[1]);
        if (read.sequence) {
            header.sequenceIndex = read.sequence->index;
            header.sequenceCount = read.sequence->count;
            append(payload, read.sequence->id, maxReplyText, header.lengths[2]);
        }
    }
    std::vector<std::uint8_t> out(sizeof header + payload.size());
    std::memcpy(out.data(), &header, sizeof header);
    std::copy(payload.begin(), payload.end(), out.begin() + sizeof header);
    return out;
}

std::optional<std::uint32_t> payloadBytes(const ReplyHeader& header)
{
    if (header.magic != replyMagic || header.outcome > 1 + static_cast<std::uint32_t>(ImageFileError::lastKind))
        return std::nullopt;
    std::uint64_t total = 0;
    for (int i = 0; i < 5; ++i) {
        if (header.lengths[i] > (i == 0 ? maxReplyBytes : maxReplyText))
            return std::nullopt;
        total += header.lengths[i];
    }
    if (total > maxReplyBytes)
        return std::nullopt;
    return static_cast<std::uint32_t>(total);
}

std::optional<FileOutcome> decodeReply(const ReplyHeader& header, std::span<const std::uint8_t> payload)
{
    const auto expected = payloadBytes(header);
    if (!expected || *expected != payload.size())
        return std::nullopt;
    std::string texts[5];
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        texts[i].assign(reinterpret_cast<const char*>(payload.data()) + at, header.lengths[i]);
        at += header.lengths[i];
    }
    FileOutcome outcome;
    if (header.outcome == 0) {
        const auto failure = static_cast<aztec::ReadFailure>(header.failure);
        if (failure != aztec::ReadFailure::None && failure != aztec::ReadFailure::TooDamaged &&
            failure != aztec::ReadFailure::NoSymbol)
            return std::nullopt;
        if (header.flags & ~(replyFlag::readerInitialisation | replyFlag::gs1 | replyFlag::sequence))
            return std::nullopt;
        outcome.read.failure = failure;
        outcome.read.bytes = std::move(texts[0]);
        outcome.read.reason = std::move(texts[1]);
        outcome.read.readerInitialisation = (header.flags & replyFlag::readerInitialisation) != 0;
        outcome.read.gs1 = (header.flags & replyFlag::gs1) != 0;
        if (header.flags & replyFlag::sequence)
            outcome.read.sequence = aztec::SequencePosition{header.sequenceIndex, header.sequenceCount, std::move(texts[2])};
        return outcome;
    }
    const auto kind = static_cast<Kind>(header.outcome - 1);
    // A worker has no say over how the caller's own steps ended.
    if (kind == Kind::NotFound || kind == Kind::NoAccess || kind == Kind::TimedOut || kind == Kind::NoWorker)
        return std::nullopt;
    if (header.flags & replyFlag::pdf) {
        if (header.refusal > static_cast<std::uint32_t>(pdf::Refusal::WorkLimit) ||
            (kind != Kind::Refused && kind != Kind::Unreadable))
            return std::nullopt;
        outcome.error = ImageFileError::inPdf(kind, static_cast<pdf::Refusal>(header.refusal), header.page,
                                              header.object, std::move(texts[4]));
        return outcome;
    }
    if (kind == Kind::Refused || header.flags != 0)
        return std::nullopt;
    outcome.error = ImageFileError(kind, header.code, header.width, header.height);
    if (!texts[3].empty())
        outcome.error->setFormat(std::move(texts[3]));
    return outcome;
}

Departure departureOf(std::uint32_t exitCode)
{
    return exitCode == jobQuotaExitCode ? Departure::OutOfTime : Departure::Crashed;
}

}  // namespace varnok::worker

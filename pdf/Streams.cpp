#include <algorithm>

#include "Document.h"
#include "DocumentParts.h"
#include "Filters.h"

namespace varnok::pdf {

std::size_t Document::streamLength(const Stream& stream, int number)
{
    const std::size_t start = stream.dataStart;
    const Object* given = lookup(*stream.dict, "Length");
    long long length = -1;
    if (given) {
        try {
            length = integerOf(&resolve(*given), -1);
        } catch (const Fault&) {
            length = -1;
        }
    }
    if (length >= 0 && static_cast<std::size_t>(length) <= file_.size() - std::min(start, file_.size()) &&
        endstreamAt(file_, start + static_cast<std::size_t>(length)))
        return static_cast<std::size_t>(length);
    // A wrong or missing length: the data ends before the next "endstream".
    std::size_t end = nextEndstream(start);
    if (end == file_.size())
        throw Fault{Stage::Objects, number, "stream without an end"};
    if (end > start && file_[end - 1] == '\n')
        --end;
    if (end > start && file_[end - 1] == '\r')
        --end;
    return end - start;
}

std::size_t Document::nextEndstream(std::size_t from)
{
    if (!endstreams_) {
        endstreams_.emplace();
        const std::string_view text = textOf(file_);
        for (std::size_t at = text.find("endstream"); at != std::string_view::npos; at = text.find("endstream", at + 9))
            endstreams_->push_back(at);
    }
    const auto next = std::lower_bound(endstreams_->begin(), endstreams_->end(), from);
    return next == endstreams_->end() ? file_.size() : *next;
}

StreamData Document::streamData(const Stream& stream, int number, std::size_t limit)
{
    const Bytes raw = file_.subspan(stream.dataStart, streamLength(stream, number));
    budget_.charge(scanCost(raw.size()));
    StreamData out;
    std::vector<std::string> filters;
    std::vector<const Dict*> parms;
    if (const Object* filter = resolvedEntry(*stream.dict, "Filter")) {
        if (filter->name()) {
            filters.push_back(canonicalFilter(filter->name()->text));
        } else if (filter->array()) {
            for (const auto& item : *filter->array()) {
                const Object& name = resolve(item);
                if (!name.name())
                    throw Fault{Stage::Objects, number, "a filter that is not a name"};
                filters.push_back(canonicalFilter(name.name()->text));
            }
        }
    }
    if (filters.size() > 8)
        throw Fault{Stage::Objects, number, "too many filters"};
    if (const Object* given = resolvedEntry(*stream.dict, "DecodeParms")) {
        if (given->array()) {
            for (const auto& item : *given->array())
                parms.push_back(resolve(item).dict());
        } else {
            parms.push_back(given->dict());
        }
    }
    // The raw bytes are copied only as far as they are used: whole for an image codec, up to `limit` unfiltered.
    bool copied = false;
    const auto input = [&]() { return copied ? Bytes(out.bytes) : raw; };
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const Dict* parm = i < parms.size() ? parms[i] : nullptr;
        const std::string& name = filters[i];
        if (const Codec codec = codecOf(name); codec != Codec::None) {
            if (i + 1 != filters.size())
                throw Fault{Stage::Objects, number, name + " before another filter"};
            out.codec = codec;
            out.codecParms = parm;
            if (!copied)
                out.bytes.assign(raw.begin(), raw.end());
            copied = true;
            break;
        }
        const bool last = i + 1 == filters.size();
        // One byte past the work left: a filter that fills it has run out of budget, not of data.
        const std::size_t affordable = static_cast<std::size_t>(
            std::min<unsigned long long>(static_cast<unsigned long long>(std::max(budget_.left(), 0LL)), SIZE_MAX - 1) +
            1);
        const std::size_t bound = std::min(last ? limit : maxStreamBytes, affordable);
        if (name == "FlateDecode" || name == "LZWDecode") {
            try {
                const Predictor predictor = predictorOf(parm);
                // A PNG predictor adds a tag byte to each row, so more raw bytes are needed for `bound` bytes out.
                std::size_t rawLimit = bound;
                if (predictor.predictor >= 10) {
                    const std::size_t rowBytes = predictor.rowBytes();
                    rawLimit = std::min((bound / rowBytes + 1) * (rowBytes + 1), affordable);
                }
                std::vector<std::uint8_t> decoded;
                if (name == "FlateDecode") {
                    // A limit below the general one is the size an image or a palette declares.
                    decoded = inflate(input(), rawLimit, last && limit < maxStreamBytes ? limit : 0);
                } else {
                    const Object* early = parm ? lookup(*parm, "EarlyChange") : nullptr;
                    decoded = lzw(input(), rawLimit, !(early && early->integer() && *early->integer() == 0));
                }
                budget_.charge(static_cast<long long>(decoded.size()));
                out.bytes = unpredict(std::move(decoded), predictor);
            } catch (Fault& fault) {
                fault.object = number;
                throw;
            }
            if (out.bytes.size() > bound)
                out.bytes.resize(bound);
        } else if (name == "ASCIIHexDecode") {
            out.bytes = asciiHex(input(), bound);
        } else if (name == "ASCII85Decode") {
            out.bytes = ascii85(input(), bound);
        } else if (name == "RunLengthDecode") {
            out.bytes = runLength(input(), bound);
        } else {
            throw Fault{Stage::Objects, number, "unsupported filter " + name};
        }
        if (name != "FlateDecode" && name != "LZWDecode")
            budget_.charge(static_cast<long long>(out.bytes.size()));
        copied = true;
    }
    if (!copied)
        out.bytes.assign(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(std::min(limit, raw.size())));
    if (out.bytes.size() > limit && out.codec == Codec::None)
        out.bytes.resize(limit);
    return out;
}

SharedBytes Document::sharedData(const Stream& stream, int number, bool mustKeep)
{
    if (const auto kept = kept_.find(stream.dataStart); kept != kept_.end())
        return kept->second;
    if (const auto failed = failedStreams_.find(stream.dataStart); failed != failedStreams_.end())
        throw failed->second;
    SharedBytes data;
    try {
        data = std::make_shared<const std::vector<std::uint8_t>>(streamData(stream, number, maxStreamBytes).bytes);
    } catch (Fault& fault) {
        if (fault.object == 0)
            fault.object = number;
        failedStreams_.emplace(stream.dataStart, fault);
        throw;
    }
    if (keptBytes_ + data->size() <= maxKeptBytes) {
        keptBytes_ += data->size();
        kept_.emplace(stream.dataStart, data);
    } else if (mustKeep) {
        throw Fault{Stage::Objects, number, "decoded streams past the limit of what is kept"};
    }
    return data;
}

}  // namespace varnok::pdf

#include "Document.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "Filters.h"
#include "base/ByteOrder.h"

namespace varnok::pdf {

namespace {

constexpr int maxSections = 512;
constexpr int maxReferenceChain = 16;
constexpr std::size_t maxResolving = 32;

const Object nullObject{};

std::string_view textOf(Bytes bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

bool isKeyword(const Lexer::Token& t, std::string_view text)
{
    return t.kind == Lexer::Kind::Keyword && t.text == text;
}

// A non-negative integer token that fits `max`, or -1.
long long integerToken(const Lexer::Token& t, long long max)
{
    if (t.kind != Lexer::Kind::Number || !t.integer || t.text.empty() || t.text[0] == '-' || t.text.size() > 18)
        return -1;
    const long long v = std::stoll(t.text);
    return v <= max ? v : -1;
}

// Bytes the budget charges for reading input once (a scan, a copy): cheaper than decoding them.
long long scanCost(std::size_t bytes) { return static_cast<long long>(bytes / 8) + 1; }

// A cross-reference entry held by number (and, in a rebuilt table, where its object starts), charged as objects are.
constexpr long long entryCost = 128;

}  // namespace

Document::Document(Bytes file, Budget& budget) : file_(file), budget_(budget)
{
    try {
        readCrossReferences();
    } catch (const Fault&) {
        entries_.clear();
    }
    // Offsets that do not lead to their object mean the table is damaged: rebuild it from the objects themselves.
    bool sound = !entries_.empty() && lookup(trailer_, "Root");
    for (auto it = entries_.begin(); sound && it != entries_.end(); ++it) {
        if (it->second.stream != 0)
            continue;
        Lexer lexer(file_, it->second.offset);
        sound = integerToken(lexer.next(), INT_MAX) == it->first && integerToken(lexer.next(), INT_MAX) >= 0 &&
                isKeyword(lexer.next(), "obj");
    }
    if (!sound)
        rebuild();
    if (!hasCatalogue() && !repaired_)
        rebuild();
    if (!hasCatalogue()) {
        const Object* root = lookup(trailer_, "Root");
        throw Fault{Stage::Xref, root && root->ref() ? root->ref()->number : 0, "no document catalogue"};
    }
}

bool Document::hasCatalogue()
{
    const Object* root = lookup(trailer_, "Root");
    try {
        return root && resolve(*root).dict();
    } catch (const Fault&) {
        return false;
    }
}

std::size_t Document::findStartXref() const
{
    const std::string_view text = textOf(file_);
    const std::size_t from = text.size() > 4096 ? text.size() - 4096 : 0;
    const std::size_t at = text.rfind("startxref");
    if (at == std::string_view::npos || at < from)
        throw Fault{Stage::Xref, 0, "no startxref"};
    Lexer lexer(file_, at + 9);
    const long long offset = integerToken(lexer.next(), static_cast<long long>(file_.size()) - 1);
    if (offset < 0)
        throw Fault{Stage::Xref, 0, "startxref points outside the file"};
    return static_cast<std::size_t>(offset);
}

void Document::readCrossReferences()
{
    budget_.charge(scanCost(std::min<std::size_t>(file_.size(), 4096)));
    std::set<std::size_t> visited;
    std::size_t offset = findStartXref();
    for (int sections = 0; sections < maxSections && visited.insert(offset).second; ++sections) {
        Lexer lexer(file_, offset);
        const Dict* section = nullptr;
        if (isKeyword(lexer.peek(), "xref")) {
            lexer.next();
            section = readTable(lexer);
            // A hybrid file's table points to a stream with the entries of compressed objects.
            const long long hybrid = integerOf(lookup(*section, "XRefStm"), -1);
            if (hybrid >= 0 && static_cast<std::size_t>(hybrid) < file_.size() &&
                visited.insert(static_cast<std::size_t>(hybrid)).second)
                readXrefStream(static_cast<std::size_t>(hybrid));
        } else {
            section = readXrefStream(offset);
        }
        mergeTrailer(*section);
        const long long previous = integerOf(lookup(*section, "Prev"), -1);
        if (previous < 0 || static_cast<std::size_t>(previous) >= file_.size())
            break;
        offset = static_cast<std::size_t>(previous);
    }
}

const Dict* Document::readTable(Lexer& lexer)
{
    for (;;) {
        const Lexer::Token t = lexer.next();
        if (isKeyword(t, "trailer")) {
            Lexer bounded(file_, lexer.position(), &budget_);
            Object trailer = bounded.object();
            const auto* dict = std::get_if<std::shared_ptr<const Dict>>(&trailer.value);
            if (!dict)
                throw Fault{Stage::Xref, 0, "trailer is not a dictionary"};
            sections_.push_back(*dict);
            return dict->get();
        }
        const long long first = integerToken(t, INT_MAX);
        const long long count = integerToken(lexer.next(), INT_MAX);
        const std::size_t room = (file_.size() - std::min(file_.size(), lexer.position())) / 18 + 1;
        if (first < 0 || count < 0 || static_cast<std::size_t>(count) > room || first + count > INT_MAX)
            throw Fault{Stage::Xref, 0, "bad cross-reference subsection"};
        for (long long i = 0; i < count; ++i) {
            countEntry();
            const long long offset = integerToken(lexer.next(), LLONG_MAX);
            const long long generation = integerToken(lexer.next(), INT_MAX);
            const Lexer::Token type = lexer.next();
            if (offset < 0 || generation < 0 || (!isKeyword(type, "n") && !isKeyword(type, "f")))
                throw Fault{Stage::Xref, static_cast<int>(first + i), "bad cross-reference entry"};
            if (isKeyword(type, "f"))
                addEntry(static_cast<int>(first + i), Entry{-1, 0});
            else if (static_cast<std::size_t>(offset) < file_.size())
                addEntry(static_cast<int>(first + i), Entry{0, static_cast<std::size_t>(offset)});
        }
    }
}

const Dict* Document::readXrefStream(std::size_t offset)
{
    Lexer lexer(file_, offset, &budget_);
    const long long number = integerToken(lexer.next(), INT_MAX);
    if (number <= 0 || integerToken(lexer.next(), INT_MAX) < 0 || !isKeyword(lexer.next(), "obj"))
        throw Fault{Stage::Xref, 0, "no cross-reference section at its offset"};
    const Object object = lexer.object();
    const Stream* stream = object.stream();
    if (!stream || !object.dict() || !lookup(*object.dict(), "Type") || !lookup(*object.dict(), "Type")->isName("XRef"))
        throw Fault{Stage::Xref, static_cast<int>(number), "not a cross-reference stream"};
    sections_.push_back(stream->dict);
    const Dict& dict = *stream->dict;
    const StreamData data = streamData(*stream, static_cast<int>(number), maxStreamBytes);

    const Object* w = lookup(dict, "W");
    if (!w || !w->array() || w->array()->size() != 3)
        throw Fault{Stage::Xref, static_cast<int>(number), "bad /W"};
    int widths[3];
    std::size_t entrySize = 0;
    for (int i = 0; i < 3; ++i) {
        const long long width = integerOf(&(*w->array())[i], -1);
        if (width < 0 || width > 8)
            throw Fault{Stage::Xref, static_cast<int>(number), "bad /W"};
        widths[i] = static_cast<int>(width);
        entrySize += static_cast<std::size_t>(width);
    }
    if (entrySize == 0)
        throw Fault{Stage::Xref, static_cast<int>(number), "bad /W"};
    std::vector<long long> index;
    if (const Object* given = lookup(dict, "Index"); given && given->array()) {
        for (const auto& item : *given->array())
            index.push_back(integerOf(&item, -1));
    } else {
        index = {0, integerOf(lookup(dict, "Size"), 0)};
    }
    std::size_t at = 0;
    for (std::size_t pair = 0; pair + 1 < index.size(); pair += 2) {
        const long long first = index[pair], count = index[pair + 1];
        if (first < 0 || count < 0 || first + count > INT_MAX)
            throw Fault{Stage::Xref, static_cast<int>(number), "bad /Index"};
        for (long long i = 0; i < count && entrySize <= data.bytes.size() - at; ++i) {
            countEntry();
            unsigned long long fields[3] = {1, 0, 0};
            for (int f = 0; f < 3; ++f) {
                if (widths[f] == 0)
                    continue;
                fields[f] = bigEndian(&data.bytes[at], static_cast<std::size_t>(widths[f]));
                at += static_cast<std::size_t>(widths[f]);
            }
            const int object = static_cast<int>(first + i);
            if (fields[0] == 0)
                addEntry(object, Entry{-1, 0});
            else if (fields[0] == 1 && fields[1] < file_.size())
                addEntry(object, Entry{0, static_cast<std::size_t>(fields[1])});
            else if (fields[0] == 2 && fields[1] > 0 && fields[1] <= INT_MAX)
                addEntry(object, Entry{static_cast<int>(fields[1]), static_cast<std::size_t>(fields[2])});
        }
    }
    return stream->dict.get();
}

void Document::countEntry()
{
    // No object takes less than a byte of the file, even compressed: more entries than bytes are not a table.
    if (++entryCount_ > file_.size())
        throw Fault{Stage::Xref, 0, "more cross-reference entries than the file can hold"};
    budget_.charge(entryCost);
}

void Document::addEntry(int number, Entry entry)
{
    if (number > 0)
        entries_.try_emplace(number, entry);  // the newest section is read first and wins
}

void Document::mergeTrailer(const Dict& dict)
{
    budget_.charge(static_cast<long long>(dict.size()) * 64);
    for (const auto& [key, value] : dict)
        if (trailerKeys_.insert(key).second)
            trailer_.emplace_back(key, value);
}

void Document::rebuild()
{
    repaired_ = true;
    entries_.clear();
    cache_.clear();
    objectStreams_.clear();
    brokenObjectStreams_.clear();
    trailer_.clear();
    trailerKeys_.clear();
    // Two scans of the whole file, for objects and for trailers.
    budget_.charge(2 * scanCost(file_.size()));
    const std::string_view text = textOf(file_);
    // Each object is parsed only up to the next one found: an unterminated string must not run on to the end
    // of the file once for every object.
    std::vector<std::size_t> starts;
    for (std::size_t at = text.find("obj"); at != std::string_view::npos; at = text.find("obj", at + 3)) {
        if (at + 3 < text.size() && !isSpace(file_[at + 3]) && !isDelimiter(file_[at + 3]))
            continue;
        // Backwards over "N G ": digits, blanks, digits, blanks.
        std::size_t i = at;
        const auto blanks = [&] {
            const std::size_t end = i;
            while (i > 0 && isSpace(file_[i - 1]))
                --i;
            return end - i;
        };
        const auto digits = [&] {
            const std::size_t end = i;
            while (i > 0 && isDigit(file_[i - 1]) && end - i < 11)
                --i;
            return end - i;
        };
        if (!blanks() || !digits() || !blanks())
            continue;
        const std::size_t numberEnd = i;
        if (!digits() || (i > 0 && !isSpace(file_[i - 1]) && !isDelimiter(file_[i - 1])))
            continue;
        const long long number = std::stoll(std::string(text.substr(i, numberEnd - i)));
        budget_.charge(entryCost);
        starts.push_back(i);
        if (number > 0 && number <= INT_MAX)
            entries_[static_cast<int>(number)] = Entry{0, i};  // a later definition replaces an earlier one
    }
    for (auto& [number, entry] : entries_) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), entry.offset);
        entry.end = next == starts.end() ? file_.size() : *next;
    }
    std::vector<std::size_t>().swap(starts);
    // Trailers in file order, the last one first to win.
    std::vector<std::shared_ptr<const Dict>> trailers;
    for (std::size_t at = text.find("trailer"); at != std::string_view::npos;) {
        const std::size_t next = text.find("trailer", at + 7);
        try {
            Lexer lexer(file_.first(next == std::string_view::npos ? file_.size() : next), at + 7, &budget_);
            Object trailer = lexer.object();
            if (const auto* dict = std::get_if<std::shared_ptr<const Dict>>(&trailer.value))
                trailers.push_back(*dict);
        } catch (const Fault&) {
        }
        at = next;
    }
    std::vector<std::pair<int, std::size_t>> direct;
    for (const auto& [number, entry] : entries_)
        direct.emplace_back(number, entry.offset);
    std::sort(direct.begin(), direct.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    int catalogue = 0;
    for (const auto& [number, offset] : direct) {
        const Object* object = nullptr;
        try {
            object = &get(number);
        } catch (const Fault&) {
            continue;
        }
        const Dict* dict = object->dict();
        const Object* type = dict ? lookup(*dict, "Type") : nullptr;
        if (!type)
            continue;
        if (type->isName("XRef") && object->stream()) {
            trailers.push_back(object->stream()->dict);
        } else if (type->isName("Catalog")) {
            catalogue = number;
        } else if (type->isName("ObjStm") && object->stream()) {
            try {
                const SharedBytes data = sharedData(*object->stream(), number);
                const long long count = integerOf(lookup(*dict, "N"), 0);
                Lexer lexer(Bytes(*data), 0);
                for (long long k = 0; k < count && k < static_cast<long long>(maxCollection); ++k) {
                    const long long contained = integerToken(lexer.next(), INT_MAX);
                    if (contained <= 0 || integerToken(lexer.next(), LLONG_MAX) < 0)
                        break;
                    budget_.charge(entryCost);
                    entries_.try_emplace(static_cast<int>(contained), Entry{number, static_cast<std::size_t>(k)});
                }
            } catch (const Fault&) {
            }
        }
    }
    for (auto it = trailers.rbegin(); it != trailers.rend(); ++it)
        mergeTrailer(**it);
    if (catalogue > 0 && trailerKeys_.insert("Root").second)
        trailer_.emplace_back("Root", Object{Ref{catalogue, 0}});
}

const Object& Document::get(int number)
{
    if (const auto cached = cache_.find(number); cached != cache_.end())
        return cached->second;
    const auto entry = entries_.find(number);
    if (entry == entries_.end() || entry->second.stream < 0)
        return nullObject;
    if (resolving_.count(number) || resolving_.size() >= maxResolving)
        throw Fault{Stage::Objects, number, "reference loop"};
    budget_.charge(objectCost);
    resolving_.insert(number);
    Object object;
    try {
        object = entry->second.stream == 0 ? parseAt(number, entry->second.offset, entry->second.end)
                                           : fromObjectStream(number, entry->second.stream, entry->second.offset);
    } catch (Fault& fault) {
        resolving_.erase(number);
        if (fault.object == 0)
            fault.object = number;
        throw;
    }
    resolving_.erase(number);
    return cache_.emplace(number, std::move(object)).first->second;
}

const Object& Document::resolve(const Object& object)
{
    const Object* current = &object;
    for (int i = 0; i < maxReferenceChain; ++i) {
        const Ref* ref = current->ref();
        if (!ref)
            return *current;
        current = &get(ref->number);
    }
    throw Fault{Stage::Objects, object.ref()->number, "reference chain too long"};
}

const Object* Document::resolvedEntry(const Dict& dict, std::string_view key)
{
    const Object* object = lookup(dict, key);
    if (!object)
        return nullptr;
    const Object& resolved = resolve(*object);
    return resolved.isNull() ? nullptr : &resolved;
}

Object Document::parseAt(int number, std::size_t offset, std::size_t end)
{
    Lexer lexer(file_.first(std::min(end, file_.size())), offset, &budget_);
    if (integerToken(lexer.next(), INT_MAX) != number || integerToken(lexer.next(), INT_MAX) < 0 ||
        !isKeyword(lexer.next(), "obj"))
        throw Fault{Stage::Xref, number, "the object is not at its offset"};
    Object object = lexer.object();
    // Parsed once and kept, so each byte is charged once per object that starts before it.
    budget_.charge(scanCost(lexer.position() - std::min(offset, lexer.position())) * 4);
    return object;
}

Object Document::fromObjectStream(int number, int stream, std::size_t index)
{
    auto known = objectStreams_.find(stream);
    if (const auto broken = brokenObjectStreams_.find(stream); broken != brokenObjectStreams_.end())
        throw broken->second;
    // The container itself is not remembered as broken: whether it parses may depend on what is resolving.
    const Object& holder = known == objectStreams_.end() ? get(stream) : nullObject;
    if (known == objectStreams_.end()) try {
        const Dict* dict = holder.dict();
        const Object* type = dict ? lookup(*dict, "Type") : nullptr;
        if (!holder.stream() || !type || !type->isName("ObjStm"))
            throw Fault{Stage::Objects, stream, "not an object stream"};
        ObjectStream parsed;
        parsed.data = sharedData(*holder.stream(), stream, true);
        const long long count = integerOf(resolvedEntry(*dict, "N"), -1);
        const long long first = integerOf(resolvedEntry(*dict, "First"), -1);
        if (count < 0 || first < 0 || static_cast<std::size_t>(first) > parsed.data->size() ||
            static_cast<std::size_t>(count) > parsed.data->size() / 2 + 1)
            throw Fault{Stage::Objects, stream, "bad object stream header"};
        budget_.charge(count * 64);
        Lexer lexer(Bytes(*parsed.data), 0);
        for (long long k = 0; k < count; ++k) {
            const long long contained = integerToken(lexer.next(), INT_MAX);
            const long long offset = integerToken(lexer.next(), INT_MAX);
            if (contained < 0 || offset < 0)
                break;
            parsed.objects.push_back({static_cast<int>(contained), static_cast<std::size_t>(first + offset)});
        }
        // Each object ends where the next one starts; the last, or one the header lists out of order, at the end.
        for (std::size_t k = 0; k < parsed.objects.size(); ++k) {
            auto& [contained, start, end] = parsed.objects[k];
            end = k + 1 < parsed.objects.size() && parsed.objects[k + 1].start >= start ? parsed.objects[k + 1].start
                                                                                       : parsed.data->size();
            parsed.byNumber.insert_or_assign(contained, k);
        }
        known = objectStreams_.emplace(stream, std::move(parsed)).first;
    } catch (Fault& fault) {
        if (fault.object == 0)
            fault.object = stream;
        brokenObjectStreams_.emplace(stream, fault);
        throw;
    }
    const ObjectStream& container = known->second;
    const ObjectStream::Contained* found = nullptr;
    if (index < container.objects.size() && container.objects[index].number == number) {
        found = &container.objects[index];
    } else if (const auto listed = container.byNumber.find(number); listed != container.byNumber.end()) {
        found = &container.objects[listed->second];
    }
    if (!found || found->start >= container.data->size())
        throw Fault{Stage::Objects, number, "not in its object stream"};
    // Parsed only within its extent, which is charged first, as a direct object's bytes are.
    budget_.charge(scanCost(found->end - found->start) * 4);
    Lexer lexer(Bytes(*container.data).first(found->end), found->start, &budget_);
    Object object = lexer.object();
    if (object.stream())
        throw Fault{Stage::Objects, number, "a stream inside an object stream"};
    return object;
}

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
    if (length >= 0 && static_cast<std::size_t>(length) <= file_.size() - std::min(start, file_.size())) {
        Lexer after(file_, start + static_cast<std::size_t>(length));
        if (isKeyword(after.next(), "endstream"))
            return static_cast<std::size_t>(length);
    }
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

#include <algorithm>
#include <climits>
#include <set>

#include "Document.h"
#include "DocumentParts.h"
#include "base/ByteOrder.h"

namespace varnok::pdf {

namespace {

constexpr int maxSections = 512;

}  // namespace

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

}  // namespace varnok::pdf

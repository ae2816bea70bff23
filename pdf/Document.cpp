#include "Document.h"

#include <algorithm>
#include <climits>

#include "DocumentParts.h"

namespace varnok::pdf {

namespace {

constexpr int maxReferenceChain = 16;
constexpr std::size_t maxResolving = 32;

const Object nullObject{};

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

}  // namespace varnok::pdf

#include <array>
#include <cstdlib>
#include <string_view>

#include "ReaderParts.h"

namespace varnok::pdf {

namespace {

constexpr int maxFormDepth = 8;
constexpr int maxDrawsPerPage = 100000;
constexpr std::size_t maxImagesPerPage = 1024;
// A part of a page's contents: resolving its reference and finding its data, decoded or kept.
constexpr long long partCost = 32;
// Scanning content is slower than decoding it.
constexpr long long scanCostPerByte = 2;
// Saved graphics states kept; deeper nesting still pairs "q" with "Q" but keeps no more placements.
constexpr std::size_t maxSavedStates = 64;

// An inline image's data is binary: skip from "ID" to the "EI" that stands alone.
void skipInlineImage(Lexer& lexer)
{
    for (;;) {
        const Lexer::Token t = lexer.next();
        if (t.kind == Lexer::Kind::End)
            return;
        if (t.kind == Lexer::Kind::Keyword && t.text == "ID")
            break;
    }
    const Bytes data = lexer.data();
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    for (std::size_t at = text.find("EI", lexer.position()); at != std::string_view::npos;
         at = text.find("EI", at + 2)) {
        if (at > 0 && isSpace(data[at - 1]) && (at + 2 == data.size() || isSpace(data[at + 2]))) {
            lexer.seek(at + 2);
            return;
        }
    }
    lexer.seek(data.size());
}

}  // namespace

void ContentScanner::scanPage(const Page& page)
{
    found_.clear();
    draws_ = 0;
    inlineImages_ = 0;
    const Object* contents = lookup(*page.dict, "Contents");
    if (!contents)
        return;
    const Object& resolved = document_.resolve(*contents);
    if (!scanned_.emplace(&resolved, page.resources).second)
        return;
    const SharedBytes content = contentOf(*contents, resolved);
    scan(Bytes(*content), page.resources, 0, Placement{});
}

SharedBytes ContentScanner::contentOf(const Object& contents, const Object& resolved)
{
    if (const Stream* stream = resolved.stream())
        return document_.sharedData(*stream, contents.ref() ? contents.ref()->number : 0);
    auto content = std::make_shared<std::vector<std::uint8_t>>();
    if (!resolved.array())
        return content;
    for (const Object& part : *resolved.array()) {
        document_.budget().charge(partCost);
        const Object& stream = document_.resolve(part);
        if (!stream.stream())
            continue;
        const SharedBytes data = document_.sharedData(*stream.stream(), part.ref() ? part.ref()->number : 0);
        const std::size_t room = maxStreamBytes - std::min(maxStreamBytes, content->size());
        content->insert(content->end(), data->begin(), data->begin() + std::min(room, data->size()));
        content->push_back('\n');  // parts split only between tokens
    }
    return content;
}

void ContentScanner::scan(Bytes content, const Dict* resources, int depth, const Placement& placed)
{
    document_.budget().charge(static_cast<long long>(content.size()) * scanCostPerByte);
    Lexer lexer{content};
    std::string operand;
    // The last six numbers before an operator: a "cm" takes them all.
    std::array<double, 6> numbers{};
    std::size_t numberCount = 0;
    Placement current = placed;
    std::vector<Placement> saved;
    std::size_t unsaved = 0;  // "q" past maxSavedStates
    for (;;) {
        Lexer::Token t = lexer.next();
        if (t.kind == Lexer::Kind::End)
            return;
        if (t.kind == Lexer::Kind::Name) {
            operand = std::move(t.text);
            continue;
        }
        if (t.kind == Lexer::Kind::Number) {
            numbers[numberCount++ % numbers.size()] = std::strtod(t.text.c_str(), nullptr);
            continue;
        }
        if (t.kind != Lexer::Kind::Keyword) {
            numberCount = 0;
            continue;
        }
        if (t.text == "Do" && !operand.empty()) {
            if (++draws_ > maxDrawsPerPage)
                throw Fault{Stage::Pages, 0, "too many images drawn on one page"};
            draw(operand, resources, depth, current);
        } else if (t.text == "cm" && numberCount >= numbers.size()) {
            const auto at = [&](std::size_t i) { return numbers[(numberCount + i) % numbers.size()]; };
            current = Placement{at(0), at(1), at(2), at(3)}.within(current);
        } else if (t.text == "q") {
            if (saved.size() < maxSavedStates)
                saved.push_back(current);
            else
                ++unsaved;
        } else if (t.text == "Q") {
            if (unsaved > 0) {
                --unsaved;
            } else if (!saved.empty()) {
                current = saved.back();
                saved.pop_back();
            }
        } else if (t.text == "BI") {
            ++inlineImages_;
            skipInlineImage(lexer);
        }
        operand.clear();
        numberCount = 0;
    }
}

void ContentScanner::draw(const std::string& name, const Dict* resources, int depth, const Placement& placed)
{
    if (!resources)
        return;
    const Object* entry = xobject(*resources, name);
    if (!entry || !entry->ref())
        return;
    const int number = entry->ref()->number;
    const Object& object = document_.get(number);
    const Dict* dict = object.dict();
    const Object* subtype = dict ? lookup(*dict, "Subtype") : nullptr;
    if (!object.stream() || !subtype)
        return;
    if (subtype->isName("Image")) {
        if (found_.size() < maxImagesPerPage && listed_.insert(number).second)
            found_.push_back(DrawnImage{number, placed});
    } else if (subtype->isName("Form") && depth < maxFormDepth) {
        const Object* own = document_.resolvedEntry(*dict, "Resources");
        const Dict* formResources = own && own->dict() ? own->dict() : resources;
        if (!forms_.emplace(number, formResources).second)
            return;
        Placement form;
        const Object* matrix = document_.resolvedEntry(*dict, "Matrix");
        if (const auto* m = matrix ? matrix->array() : nullptr; m && m->size() == 6) {
            std::array<double, 4> v{};
            bool numeric = true;
            for (std::size_t i = 0; i < v.size(); ++i)
                numeric = numeric && document_.resolve((*m)[i]).number(v[i]);
            if (numeric)
                form = Placement{v[0], v[1], v[2], v[3]};
        }
        const SharedBytes data = document_.sharedData(*object.stream(), number);
        scan(Bytes(*data), formResources, depth + 1, form.within(placed));
    }
}

// The resources' XObject names, indexed once: a page may draw many times from a large dictionary.
const Object* ContentScanner::xobject(const Dict& resources, const std::string& name)
{
    auto known = names_.find(&resources);
    if (known == names_.end()) {
        known = names_.emplace(&resources, std::unordered_map<std::string, const Object*>{}).first;
        const Object* xobjects = document_.resolvedEntry(resources, "XObject");
        if (xobjects && xobjects->dict()) {
            document_.budget().charge(static_cast<long long>(xobjects->dict()->size()) * partCost);
            for (const auto& [key, value] : *xobjects->dict())
                known->second.emplace(key, &value);
        }
    }
    const auto found = known->second.find(name);
    return found == known->second.end() ? nullptr : found->second;
}

}  // namespace varnok::pdf

#pragma once
// A PDF file's objects by number: the cross-reference information as the file gives it (tables, streams,
// incremental updates), or rebuilt by scanning for "N G obj" when that is damaged.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Objects.h"

namespace varnok::pdf {

// Streams that are not images (cross-reference, object and content streams) decode to at most this much.
inline constexpr std::size_t maxStreamBytes = 64u << 20;
// All the streams of one file together, images included: a file of many pages, or of many objects sharing one
// compressed stream, cannot keep the reader busy for long.
inline constexpr std::uint64_t maxDecodedBytes = 2ull << 30;

// A stream's data after its general-purpose filters; an image codec filter, if the chain ends in one, is left
// for the caller and named here with its parameters.
struct StreamData {
    std::vector<std::uint8_t> bytes;
    std::string codec;
    const Dict* codecParms = nullptr;
};

class Document {
public:
    // Reads the cross-reference information and the trailer. Throws Fault.
    explicit Document(Bytes file);

    const Dict& trailer() const { return trailer_; }

    // The object with that number, parsed once; null for a free or missing one. Throws Fault.
    const Object& get(int number);
    // Follows references (a chain of them too) to the object itself.
    const Object& resolve(const Object& object);
    const Object* resolvedEntry(const Dict& dict, std::string_view key);
    // The data of `stream` (object `number`) up to `limit` bytes, through its filters. Throws Fault.
    StreamData streamData(const Stream& stream, int number, std::size_t limit);

private:
    struct Entry {
        int stream = 0;           // 0: at `offset` in the file; otherwise the object stream holding it
        std::size_t offset = 0;   // file offset, or the index within the object stream
        std::size_t end = SIZE_MAX;  // in a repaired file: where the next object starts, so that parsing stops there
    };

    void readCrossReferences();
    std::size_t findStartXref() const;
    void readSection(std::size_t offset, std::set<std::size_t>& visited, int depth);
    const Dict* readTable(Lexer& lexer);
    const Dict* readXrefStream(std::size_t offset);
    void addEntry(int number, Entry entry);
    void mergeTrailer(const Dict& dict);
    void rebuild();
    bool hasCatalogue();
    Object parseAt(int number, std::size_t offset, std::size_t end);
    Object fromObjectStream(int number, int stream, std::size_t index);
    std::size_t streamLength(const Stream& stream, int number);
    std::size_t nextEndstream(std::size_t from);

    struct ObjectStream {
        std::shared_ptr<const std::vector<std::uint8_t>> data;
        std::vector<std::pair<int, std::size_t>> objects;  // number and offset in `data`, in the stream's order
        std::unordered_map<int, std::size_t> offsets;       // by number, for objects indexed at the wrong place
    };

    Bytes file_;
    Dict trailer_;
    std::vector<std::shared_ptr<const Dict>> sections_;  // keeps each section's dictionary alive
    std::unordered_map<int, Entry> entries_;
    std::unordered_map<int, Object> cache_;
    std::set<int> resolving_;
    std::map<int, ObjectStream> objectStreams_;
    std::optional<std::vector<std::size_t>> endstreams_;  // where each "endstream" starts, found once when needed
    std::uint64_t decoded_ = 0;
    bool repaired_ = false;
};

}  // namespace varnok::pdf

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

#include "Budget.h"
#include "Filters.h"
#include "Objects.h"

namespace varnok::pdf {

// Streams that are not images (cross-reference, object and content streams) decode to at most this much.
inline constexpr std::size_t maxStreamBytes = 64u << 20;
// Decoded streams kept for the pages that share them, all together: a 32-bit process has little room.
inline constexpr std::size_t maxKeptBytes = 128u << 20;

// A stream's data after its general-purpose filters; an image codec filter, if the chain ends in one, is left
// for the caller and named here with its parameters.
struct StreamData {
    std::vector<std::uint8_t> bytes;
    Codec codec = Codec::None;
    const Dict* codecParms = nullptr;
};

using SharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

class Document {
public:
    // Reads the cross-reference information and the trailer, spending from `budget`, which must outlive the
    // document. Throws Fault, or WorkSpent.
    Document(Bytes file, Budget& budget);

    Budget& budget() { return budget_; }

    const Dict& trailer() const { return trailer_; }

    // The object with that number, parsed once; null for a free or missing one. Throws Fault.
    const Object& get(int number);
    // Follows references (a chain of them too) to the object itself.
    const Object& resolve(const Object& object);
    const Object* resolvedEntry(const Dict& dict, std::string_view key);
    // The data of `stream` (object `number`) up to `limit` bytes, through its filters, each bounded by the work
    // left. Throws Fault, or WorkSpent.
    StreamData streamData(const Stream& stream, int number, std::size_t limit);
    // The same up to maxStreamBytes for streams pages and objects share (contents, forms, object streams):
    // decoded once and kept, and a failure remembered rather than met again. What must stay (an object stream's
    // data) fails past the limit of what is kept.
    SharedBytes sharedData(const Stream& stream, int number, bool mustKeep = false);

private:
    struct Entry {
        int stream = 0;           // 0: at `offset` in the file; otherwise the object stream holding it
        std::size_t offset = 0;   // file offset, or the index within the object stream
        std::size_t end = SIZE_MAX;  // in a repaired file: where the next object starts, so that parsing stops there
    };

    void readCrossReferences();
    std::size_t findStartXref() const;
    const Dict* readTable(Lexer& lexer);
    const Dict* readXrefStream(std::size_t offset);
    void countEntry();
    void addEntry(int number, Entry entry);
    void mergeTrailer(const Dict& dict);
    void rebuild();
    bool hasCatalogue();
    Object parseAt(int number, std::size_t offset, std::size_t end);
    Object fromObjectStream(int number, int stream, std::size_t index);
    std::size_t streamLength(const Stream& stream, int number);
    std::size_t nextEndstream(std::size_t from);

    struct ObjectStream {
        struct Contained {
            int number = 0;
            std::size_t start = 0;  // in `data`
            std::size_t end = 0;
        };
        std::shared_ptr<const std::vector<std::uint8_t>> data;
        std::vector<Contained> objects;                  // in the stream's order
        std::unordered_map<int, std::size_t> byNumber;  // index in `objects`, for objects indexed at the wrong place
    };

    Bytes file_;
    Budget& budget_;
    Dict trailer_;
    std::set<std::string, std::less<>> trailerKeys_;
    std::vector<std::shared_ptr<const Dict>> sections_;  // keeps each section's dictionary alive
    std::unordered_map<int, Entry> entries_;
    std::size_t entryCount_ = 0;
    std::unordered_map<int, Object> cache_;
    std::set<int> resolving_;
    std::map<int, ObjectStream> objectStreams_;
    std::map<int, Fault> brokenObjectStreams_;
    // By where the stream's data starts, which a rebuilt table does not change.
    std::map<std::size_t, SharedBytes> kept_;
    std::map<std::size_t, Fault> failedStreams_;
    std::size_t keptBytes_ = 0;
    std::optional<std::vector<std::size_t>> endstreams_;  // where each "endstream" starts, found once when needed
    bool repaired_ = false;
};

}  // namespace varnok::pdf

#include <set>

#include "ReaderParts.h"

namespace varnok::pdf {

namespace {

constexpr int maxTreeDepth = 64;
constexpr int maxPages = 100000;
constexpr std::size_t maxTreeNodes = 4 * maxPages;
// A node's share of the budget: resolving it and looking up its keys.
constexpr long long nodeCost = 64;

bool isType(const Dict& dict, std::string_view type)
{
    const Object* t = lookup(dict, "Type");
    return t && t->isName(type);
}

}  // namespace

// Depth-first, each node once by identity (its object number, or the address of a direct dictionary, which
// shared arrays hand out again and again), so that loops end and shared subtrees are not walked per path.
std::vector<Page> pagesOf(Document& document, std::vector<Fault>& skipped)
{
    const Dict& root = *document.resolve(*lookup(document.trailer(), "Root")).dict();
    const Object* top = lookup(root, "Pages");
    if (!top)
        throw Fault{Stage::Pages, 0, "no page tree"};
    struct Node {
        const Object* object;
        const Dict* resources;
        int depth;
    };
    std::vector<Page> pages;
    std::set<int> visitedNumbers;
    std::set<const Dict*> visitedDirect;
    std::size_t nodes = 0;
    std::vector<Node> stack{{top, nullptr, 0}};
    while (!stack.empty()) {
        const Node node = stack.back();
        stack.pop_back();
        document.budget().charge(nodeCost);
        const int number = node.object->ref() ? node.object->ref()->number : 0;
        if (number && !visitedNumbers.insert(number).second) {
            skipped.push_back({Stage::Pages, number, "page tree loop"});
            continue;
        }
        const Dict* dict = nullptr;
        try {
            dict = document.resolve(*node.object).dict();
        } catch (const Fault& fault) {
            skipped.push_back(fault);
            continue;
        }
        if (!dict) {
            skipped.push_back({Stage::Pages, number, "page tree node is not a dictionary"});
            continue;
        }
        if (!number && !visitedDirect.insert(dict).second) {
            skipped.push_back({Stage::Pages, 0, "page tree loop"});
            continue;
        }
        if (++nodes > maxTreeNodes)
            throw Fault{Stage::Pages, number, "page tree too large"};
        const Dict* resources = node.resources;
        if (const Object* own = document.resolvedEntry(*dict, "Resources"); own && own->dict())
            resources = own->dict();
        const Object* kids = document.resolvedEntry(*dict, "Kids");
        if (kids && kids->array() && !isType(*dict, "Page")) {
            if (node.depth >= maxTreeDepth) {
                skipped.push_back({Stage::Pages, number, "page tree too deep"});
                continue;
            }
            const Array& list = *kids->array();
            for (auto it = list.rbegin(); it != list.rend(); ++it)
                stack.push_back({&*it, resources, node.depth + 1});
            continue;
        }
        if (pages.size() >= maxPages)
            throw Fault{Stage::Pages, number, "too many pages"};
        pages.push_back({dict, resources});
    }
    return pages;
}

}  // namespace varnok::pdf

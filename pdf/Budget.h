#pragma once
// The work one file may cost, shared by everything a read of it does: parsing, decoding, walking the page tree and
// the contents, and the symbol reader on each image. A unit is about one byte decoded or one pixel visited (the
// symbol reader's own unit), some 3 ns of work here; each step is charged before or as it is done, never checked
// only after.

#include <algorithm>

namespace varnok::pdf {

// About a second and a half: a hostile file ends within two, and a scan of a few pages at 300 dpi is read whole.
inline constexpr long long fileWork = 500'000'000;

// Thrown when the budget runs out. Not a Fault: nothing that skips a damaged page or object may catch it.
struct WorkSpent {};

class Budget {
public:
    explicit Budget(long long units = fileWork) : left_(units) {}

    // Throws WorkSpent when the units are not there (and spends what is left).
    void charge(long long units)
    {
        if (units > left_) {
            left_ = -1;
            throw WorkSpent{};
        }
        left_ -= units;
    }
    // Work measured after it was done, bounded by left() before it began: spent without throwing.
    void take(long long units) { left_ = units > left_ ? -1 : left_ - units; }
    long long left() const { return std::max(left_, 0LL); }
    bool exhausted() const { return left_ < 0; }

private:
    long long left_;
};

}  // namespace varnok::pdf

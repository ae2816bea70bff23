#pragma once
// The work one read may do, shared by every stage of it: a file's parsing and decoding and the symbol reader on
// each of its images spend from the same units, so a file's budget is handed to the reader as it is. A unit is
// about one byte decoded or one pixel visited, some 3 ns of work here; work is charged before or as it is done.

namespace varnok {

// Thrown by charge() when the units are not there. Not a failure of the file: nothing that skips a damaged part
// may catch it.
struct WorkSpent {};

class Budget {
public:
    explicit Budget(long long units) : left_(units) {}

    // For work that cannot stop halfway: throws WorkSpent when the units are not there (and spends what is left).
    void charge(long long units)
    {
        if (units > left_) {
            left_ = -1;
            throw WorkSpent{};
        }
        left_ -= units;
    }
    // For searches that stop by themselves: false once the budget is spent; the caller keeps what it has.
    bool spend(long long units)
    {
        left_ -= units;
        return left_ >= 0;
    }
    // Work measured after it was done, bounded by left() before it began: spent without throwing.
    void take(long long units) { left_ = units > left_ ? -1 : left_ - units; }

    // Negative once spent: by how much a search overran shows how closely it keeps to its budget.
    long long left() const { return left_; }
    bool spent() const { return left_ < 0; }
    bool exhausted() const { return spent(); }

private:
    long long left_;
};

}  // namespace varnok

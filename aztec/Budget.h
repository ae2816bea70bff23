#pragma once
// The work one read may do, in pixel visits. Every search step spends from it; a read that runs out ends as
// "no symbol" instead of holding its caller's thread.

namespace varnok::aztec {

class Budget {
public:
    explicit Budget(long long units) : left_(units) {}
    // False once the budget is spent: the caller stops and keeps what it has.
    bool spend(long long units)
    {
        left_ -= units;
        return left_ >= 0;
    }
    bool spent() const { return left_ < 0; }
    long long left() const { return left_; }

private:
    long long left_;
};

}  // namespace varnok::aztec

#include "ReedSolomon.h"

#include <algorithm>

namespace varnok::aztec {

namespace {

using Poly = std::vector<unsigned>;  // coefficient i belongs to x^i

unsigned evaluate(const GaloisField& f, const Poly& p, unsigned x)
{
    unsigned value = 0;
    for (std::size_t i = p.size(); i-- > 0;)
        value = GaloisField::add(f.multiply(value, x), p[i]);
    return value;
}

Poly multiply(const GaloisField& f, const Poly& a, const Poly& b)
{
    Poly product(a.size() + b.size() - 1, 0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j)
            product[i + j] ^= f.multiply(a[i], b[j]);
    return product;
}

std::size_t degree(const Poly& p)
{
    std::size_t d = p.size();
    while (d > 1 && p[d - 1] == 0)
        --d;
    return d - 1;
}

// The codewords as a polynomial (first word the highest power) at alpha^1 .. alpha^count: each word's logarithm
// is taken once and stepped from one power to the next, a table look-up per word and power (the check of a
// large symbol is most of a clean read's work).
Poly syndromesOf(const GaloisField& f, std::span<const unsigned> words, std::size_t count)
{
    const unsigned order = f.size() - 1;
    std::vector<unsigned> exponent, step;  // of the words that are not zero
    for (std::size_t k = 0; k < words.size(); ++k)
        if (words[k] != 0) {
            exponent.push_back(f.log(words[k]));
            step.push_back(static_cast<unsigned>((words.size() - 1 - k) % order));
        }
    Poly syndromes(count, 0);
    for (unsigned& value : syndromes) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < exponent.size(); ++i) {
            unsigned e = exponent[i] + step[i];
            e = e >= order ? e - order : e;
            exponent[i] = e;
            sum ^= f.exp(e);
        }
        value = sum;
    }
    return syndromes;
}

}  // namespace

std::vector<unsigned> reedSolomonCheckWords(const GaloisField& f, std::span<const unsigned> message,
                                            std::size_t checkWords)
{
    // g(x) = (x - a^1)...(x - a^n), highest power first for the division below.
    Poly generator{1};
    for (std::size_t i = 1; i <= checkWords; ++i)
        generator = multiply(f, generator, Poly{f.power(static_cast<long>(i)), 1});
    std::reverse(generator.begin(), generator.end());

    std::vector<unsigned> remainder(checkWords, 0);
    for (unsigned word : message) {
        const unsigned factor = word ^ (checkWords ? remainder[0] : 0);
        for (std::size_t i = 0; i + 1 < checkWords; ++i)
            remainder[i] = remainder[i + 1] ^ f.multiply(factor, generator[i + 1]);
        if (checkWords)
            remainder[checkWords - 1] = f.multiply(factor, generator[checkWords]);
    }
    return remainder;
}

std::optional<Correction> reedSolomonCorrect(const GaloisField& f, std::span<unsigned> codewords,
                                             std::size_t checkWords, std::span<const std::size_t> erasures)
{
    const std::size_t n = codewords.size();
    if (n == 0 || n >= f.size() || checkWords >= n || erasures.size() > checkWords)
        return std::nullopt;
    // Position k holds the coefficient of x^(n-1-k); its locator is alpha^(n-1-k).
    const auto locator = [&](std::size_t k) { return f.power(static_cast<long>(n - 1 - k)); };

    const Poly syndromes = syndromesOf(f, codewords, checkWords);  // S_j = r(alpha^j), j = 1..n, stored at j - 1
    if (std::all_of(syndromes.begin(), syndromes.end(), [](unsigned s) { return s == 0; }))
        return Correction{};

    // Berlekamp-Massey started from the erasure locator.
    Poly lambda{1};
    for (std::size_t k : erasures) {
        if (k >= n)
            return std::nullopt;
        lambda = multiply(f, lambda, Poly{1, locator(k)});
    }
    Poly previous = lambda;
    const std::size_t erased = erasures.size();
    std::size_t length = erased;
    for (std::size_t r = erased + 1; r <= checkWords; ++r) {
        unsigned discrepancy = 0;
        for (std::size_t i = 0; i < lambda.size() && i < r; ++i)
            discrepancy ^= f.multiply(lambda[i], syndromes[r - 1 - i]);
        Poly shifted(previous.size() + 1, 0);
        std::copy(previous.begin(), previous.end(), shifted.begin() + 1);
        if (discrepancy == 0) {
            previous = std::move(shifted);
            continue;
        }
        Poly next(std::max(lambda.size(), shifted.size()), 0);
        for (std::size_t i = 0; i < next.size(); ++i)
            next[i] = (i < lambda.size() ? lambda[i] : 0) ^ (i < shifted.size() ? f.multiply(discrepancy, shifted[i]) : 0);
        if (2 * length <= r + erased - 1) {
            length = r + erased - length;
            previous.assign(lambda.size(), 0);
            const unsigned scale = f.inverse(discrepancy);
            for (std::size_t i = 0; i < lambda.size(); ++i)
                previous[i] = f.multiply(lambda[i], scale);
        } else {
            previous = std::move(shifted);
        }
        lambda = std::move(next);
    }
    lambda.resize(degree(lambda) + 1);
    if (degree(lambda) != length || 2 * (length - erased) + erased > checkWords)
        return std::nullopt;

    // Where the locator has its roots, and what the error is there (Forney, first root alpha^1).
    Poly omega = multiply(f, syndromes, lambda);
    omega.resize(checkWords);
    Poly derivative(lambda.size() > 1 ? lambda.size() - 1 : 1, 0);
    for (std::size_t i = 1; i < lambda.size(); i += 2)
        derivative[i - 1] = lambda[i];
    std::vector<std::pair<std::size_t, unsigned>> fixes;
    for (std::size_t k = 0; k < n; ++k) {
        const unsigned inverse = f.inverse(locator(k));
        if (evaluate(f, lambda, inverse) != 0)
            continue;
        const unsigned denominator = evaluate(f, derivative, inverse);
        if (denominator == 0)
            return std::nullopt;
        fixes.emplace_back(k, f.divide(evaluate(f, omega, inverse), denominator));
    }
    if (fixes.size() != length)
        return std::nullopt;

    std::vector<unsigned> corrected(codewords.begin(), codewords.end());
    for (const auto& [k, magnitude] : fixes)
        corrected[k] ^= magnitude;
    // A locator that fits but a word that still fails the check: more damage than the words can carry.
    const Poly check = syndromesOf(f, corrected, checkWords);
    if (std::any_of(check.begin(), check.end(), [](unsigned s) { return s != 0; }))
        return std::nullopt;
    Correction result{erased, length - erased, 0};
    for (std::size_t k = 0; k < n; ++k)
        result.changed += corrected[k] != codewords[k];
    std::copy(corrected.begin(), corrected.end(), codewords.begin());
    return result;
}

}  // namespace varnok::aztec

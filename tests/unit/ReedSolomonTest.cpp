// Reed-Solomon over every field the symbol uses: errors and erasures up to the limit are corrected exactly, one
// error beyond it is refused and leaves the words alone.

#include <gtest/gtest.h>

#include <random>

#include "aztec/ReedSolomon.h"

namespace varnok::aztec {
namespace {

struct Damage {
    std::size_t errors, erasures;
};

class ReedSolomonTest : public testing::TestWithParam<unsigned> {
protected:
    const GaloisField& field = GaloisField::forWordSize(GetParam());
    std::size_t total = std::min<std::size_t>(field.size() - 1, 60);
    std::size_t checkWords = total / 3;
    std::mt19937 random{GetParam() * 7919u};

    std::vector<unsigned> codeword()
    {
        std::vector<unsigned> words(total - checkWords);
        for (unsigned& w : words)
            w = random() % field.size();
        const auto check = reedSolomonCheckWords(field, words, checkWords);
        words.insert(words.end(), check.begin(), check.end());
        return words;
    }

    // Changes `errors` words and `erasures` others (whose positions it returns), all different places.
    std::vector<std::size_t> damage(std::vector<unsigned>& words, Damage d)
    {
        std::vector<std::size_t> places(words.size());
        for (std::size_t i = 0; i < places.size(); ++i)
            places[i] = i;
        std::shuffle(places.begin(), places.end(), random);
        for (std::size_t i = 0; i < d.errors + d.erasures; ++i)
            words[places[i]] ^= 1 + random() % (field.size() - 1);
        return {places.begin() + static_cast<long>(d.errors), places.begin() + static_cast<long>(d.errors + d.erasures)};
    }
};

TEST_P(ReedSolomonTest, CorrectsErrorsAndErasuresUpToTheLimit)
{
    for (std::size_t erasures = 0; erasures <= checkWords; ++erasures) {
        const std::size_t errors = (checkWords - erasures) / 2;
        for (int round = 0; round < 5; ++round) {
            const auto original = codeword();
            auto words = original;
            const auto erased = damage(words, {errors, erasures});
            const auto correction = reedSolomonCorrect(field, words, checkWords, erased);
            ASSERT_TRUE(correction) << errors << " errors, " << erasures << " erasures";
            EXPECT_EQ(words, original);
            EXPECT_EQ(correction->changed, errors + erasures);
            EXPECT_EQ(correction->erasures, erasures);
            EXPECT_EQ(correction->errors, errors);
            EXPECT_EQ(correction->spare(checkWords), checkWords - erasures - 2 * errors);
        }
    }
    auto clean = codeword();
    const auto correction = reedSolomonCorrect(field, clean, checkWords);
    ASSERT_TRUE(correction);
    EXPECT_EQ(correction->changed, 0u);
    EXPECT_EQ(correction->spare(checkWords), checkWords);
}

// As many erasures as check words leave nothing to check: any words at all "correct", and the correction says
// that it spent every check word. An erased word that was right costs its check word all the same.
TEST_P(ReedSolomonTest, ErasuresOfEveryCheckWordCheckNothing)
{
    std::vector<std::size_t> erased(checkWords);
    for (std::size_t i = 0; i < checkWords; ++i)
        erased[i] = 2 * i;
    for (int round = 0; round < 20; ++round) {
        std::vector<unsigned> noise(total);
        for (unsigned& w : noise)
            w = random() % field.size();
        const auto correction = reedSolomonCorrect(field, noise, checkWords, erased);
        ASSERT_TRUE(correction);
        EXPECT_EQ(correction->spare(checkWords), 0u);
    }
    auto words = codeword();
    const auto original = words;
    words[0] ^= 1;
    const auto correction = reedSolomonCorrect(field, words, checkWords, std::vector<std::size_t>{0, 1});
    ASSERT_TRUE(correction);
    EXPECT_EQ(words, original);
    EXPECT_EQ(correction->changed, 1u);
    EXPECT_EQ(correction->spare(checkWords), checkWords - 2);
}

TEST_P(ReedSolomonTest, RefusesOneErrorBeyondTheLimit)
{
    int refused = 0;
    for (int round = 0; round < 20; ++round) {
        auto words = codeword();
        damage(words, {checkWords / 2 + 1, 0});
        const auto before = words;
        if (!reedSolomonCorrect(field, words, checkWords)) {
            ++refused;
            EXPECT_EQ(words, before);
        }
    }
    // A word that happens to lie close to another codeword is decoded to that one; in the small fields that
    // happens now and then, never most of the time.
    EXPECT_GE(refused, 15);
}

INSTANTIATE_TEST_SUITE_P(AllFields, ReedSolomonTest, testing::Values(4u, 6u, 8u, 10u, 12u),
                         [](const testing::TestParamInfo<unsigned>& info) {
                             return "GF" + std::to_string(1u << info.param);
                         });

}  // namespace
}  // namespace varnok::aztec

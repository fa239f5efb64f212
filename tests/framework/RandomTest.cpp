#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "framework/Random.h"

namespace {

// Puts the shared seed back, so other tests see the sequence they expect.
struct SeedScope {
    explicit SeedScope(uint32_t seed) : saved(randomSeed.load()) { randomSeed = seed; }
    ~SeedScope() { randomSeed = saved; }
    uint32_t saved;
};

TEST(Random, StepsMultiplyBy16807AndKeepTheLow31Bits) {
    SeedScope scope(1);
    // The product is cut to 31 bits, not reduced modulo 2^31 - 1: the third step shows it.
    EXPECT_EQ(nextRandomSeed(), 16807u);
    EXPECT_EQ(nextRandomSeed(), 282475249u);
    EXPECT_EQ(nextRandomSeed(), 1622647863u);
    EXPECT_EQ(nextRandomSeed(), 947787489u);
    // The uniform value is the next seed times 2^-31.
    randomSeed = 0x7fffffffu;
    const uint32_t next = (uint32_t)((0x7fffffffull * 16807u) & 0x7fffffffu);
    EXPECT_EQ(nextRandom(), (double)next * 4.656612873077393e-10);
    EXPECT_EQ(randomSeed.load(), next);
}

// Threads drawing at once share the sequence out between them: together they get
// exactly its next steps, none lost to a torn update and none handed out twice.
TEST(Random, ConcurrentDrawsTakeEachStepOfTheSequenceOnce) {
    constexpr int kThreads = 4, kDraws = 50000;
    const uint32_t start = 123457;
    SeedScope scope(start);
    std::vector<std::vector<uint32_t>> drawn(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&drawn, t] {
            drawn[(size_t)t].reserve(kDraws);
            for (int i = 0; i < kDraws; ++i) drawn[(size_t)t].push_back(nextRandomSeed());
        });
    for (std::thread& t : threads) t.join();

    std::vector<uint32_t> all;
    for (const auto& d : drawn) all.insert(all.end(), d.begin(), d.end());
    std::vector<uint32_t> expected;
    uint32_t s = start;
    for (int i = 0; i < kThreads * kDraws; ++i) {
        s = (uint32_t)(((uint64_t)s * 16807u) & 0x7fffffffu);
        expected.push_back(s);
    }
    EXPECT_EQ(randomSeed.load(), expected.back());
    std::sort(all.begin(), all.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(all == expected) << "the threads' draws are not the sequence's next steps";
}

}  // namespace

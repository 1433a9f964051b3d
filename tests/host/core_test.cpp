// The host's core: trig tables, the processor check and fatal errors through their reporter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "host/cpu.h"
#include "host/fatal.h"
#include "host/random.h"
#include "host/trig.h"
#include "platform/system.h"

namespace {

TEST(TrigTables, ValuesAndSymmetry)
{
    BuildTrigTables();
    EXPECT_EQ(SineTable[0], 0.0f);
    EXPECT_EQ(CosineTable[0], 1.0f);
    EXPECT_EQ(SineTable[256], 1.0f);
    EXPECT_NEAR(CosineTable[256], 0.0f, 1e-7);
    EXPECT_NEAR(SineTable[512], 0.0f, 1e-6);
    EXPECT_EQ(CosineTable[512], -1.0f);
    for (int i = 0; i < 1024; ++i) {
        double angle = (double)i * (double)3.1415927f / 512.0;
        EXPECT_NEAR(SineTable[i], std::sin(angle), 1e-7) << i;
        EXPECT_NEAR(CosineTable[i], std::cos(angle), 1e-7) << i;
        EXPECT_NEAR(SineTable[i], CosineTable[(i - 256) & 1023], 2e-6) << i;
    }
}

TEST(Processor, HasMmxAndItsOverride)
{
    EXPECT_TRUE(HasMmx()); // every x86-64 processor has it
    HasMmxOverride(0);
    EXPECT_FALSE(HasMmx());
    HasMmxOverride(1);
    EXPECT_TRUE(HasMmx());
    HasMmxOverride(-1);
    EXPECT_TRUE(HasMmx());
}

// Brackets the message so a test sees exactly what the reporter was handed.
[[noreturn]] void BracketReporter(const char* message)
{
    std::fprintf(stderr, "[%s]\n", message);
    SystemExitProcess(3);
}

// The classic sequence: the same numbers on every platform, whatever its C library's rand gives.
TEST(Random, ClassicSequenceForAnySeed)
{
    const struct {
        uint32_t seed;
        int first[5];
    } cases[] = {
        {1, {41, 18467, 6334, 26500, 19169}},
        {0, {38, 7719, 21238, 2437, 8855}},
        {0xFFFFFFFFu, {35, 29739, 3374, 11141, 31308}},
    };
    for (const auto& c : cases) {
        RandomSeed(c.seed);
        for (int want : c.first)
            EXPECT_EQ(RandomNext(), want) << "seed " << c.seed;
    }
    RandomSeed(1);
    int low = RANDOM_MAX, high = 0;
    for (int i = 0; i < 100000; i++) {
        int v = RandomNext();
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, RANDOM_MAX);
}

TEST(FatalErrorDeathTest, DefaultWritesTheMessageAndExitsWithOne)
{
    EXPECT_EXIT(FatalError("Unable to load module '%s'! %d", "song.xm", 7), testing::ExitedWithCode(1),
                "^Unable to load module 'song.xm'! 7\n$");
}

TEST(FatalErrorDeathTest, InstalledReporterGetsTheMessageCutAt1023Characters)
{
    std::string text(3000, 'q');
    EXPECT_EXIT(
        {
            FatalErrorSetReporter(BracketReporter);
            FatalError("%s!", text.c_str());
        },
        testing::ExitedWithCode(3), "^\\[" + std::string(1023, 'q') + "\\]\n$");
}

} // namespace

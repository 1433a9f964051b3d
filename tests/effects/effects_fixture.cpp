#include "tests/effects/effects_fixture.h"

#include <gtest/gtest.h>

#include "effects/blend.h"
#include "effects/raycast.h"
#include "host/scratch.h"
#include "host/trig.h"

uint64_t SurfaceHash(const Surface* s)
{
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < s->height; y++) {
        const uint8_t* row = (const uint8_t*)s->pixels + (size_t)y * s->pitch;
        for (int i = 0; i < s->width * 4; i++)
            h = (h ^ row[i]) * 1099511628211ull;
    }
    return h;
}

namespace {
class EffectsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        BuildTrigTables();
        ScratchPoolCreate(1 << 20);
        ASSERT_TRUE(BlendTablesCreate());
        ASSERT_TRUE(FogTableCreate());
    }
    void TearDown() override
    {
        FogTableDestroy();
        BlendTablesDestroy();
        ScratchPoolDestroy();
    }
};
const auto* gEnvironment = ::testing::AddGlobalTestEnvironment(new EffectsEnvironment);
} // namespace

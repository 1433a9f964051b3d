// Random and extreme inputs: no primitive writes outside its target.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>

#include "effects/blend.h"
#include "effects/fill.h"
#include "effects/glow.h"
#include "effects/local.h"
#include "effects/scene.h"
#include "tests/effects/effects_fixture.h"

namespace {
// A surface with sentinel pixels before its first and after its last row.
struct Guarded {
    static constexpr int kGuard = 4096;
    static constexpr uint32_t kSentinel = 0xA5A5A5A5;
    std::vector<uint32_t> block;
    Surface surface;
    Guarded(int w, int h) : block((size_t)w * h + 2 * kGuard, kSentinel)
    {
        surface = Surface{block.data() + kGuard, w, h, (uint32_t)w * 4};
        std::fill(block.begin() + kGuard, block.end() - kGuard, 0);
    }
    bool Intact() const
    {
        for (int i = 0; i < kGuard; i++)
            if (block[i] != kSentinel || block[block.size() - 1 - i] != kSentinel)
                return false;
        return true;
    }
};

int Wild(std::mt19937& rng)
{
    switch (rng() % 4) {
    case 0: return (int)(rng() % 80) - 20;
    case 1: return (int)(rng() % 4000) - 2000;
    case 2: return (int)rng();
    default: return (int)(rng() % 3) - 1 + (rng() % 2 ? 64 : 0);
    }
}
} // namespace

TEST(Bounds, FillersLinesAndSpritesStayInside)
{
    std::mt19937 rng(1234);
    TestTexture tex(64, 32, [](int x, int y) { return (uint32_t)(x * 3 + y); });
    std::vector<uint32_t> bare(65536, 0x00808080);
    Guarded g(61, 37);
    const Surface* s = &g.surface;
    for (int n = 0; n < 4000; n++) {
        FillVertex c[3];
        for (FillVertex& v : c)
            v = FillVertex{Wild(rng), Wild(rng), Wild(rng), Wild(rng), Wild(rng), Wild(rng), Wild(rng)};
        switch (n % 11) {
        case 0: FillTexture(c, s, bare.data()); break;
        case 1: FillFlat(c, 0x123456, s); break;
        case 2: FillTextureLit(c, s, &tex, BlendMultiply, Wild(rng)); break;
        case 3: FillTextureEnv(c, s, &tex, BlendAdd, &tex); break;
        case 4: FillTextureOver(c, s, &tex, BlendScreen); break;
        case 5: FillColourOver(c, s, Wild(rng), Wild(rng), Wild(rng), BlendAdd); break;
        case 6: FillGouraud(c, Wild(rng), Wild(rng), Wild(rng), s, BlendAdd); break;
        case 7: FillTextureGouraud(c, s, &tex, BlendMultiply); break;
        case 8:
            // Long lines are slow by nature: keep these ones short.
            GlowLine(c[0].x % 3000, c[0].y % 3000, c[1].x % 3000, c[1].y % 3000, s, Wild(rng),
                     Wild(rng), Wild(rng), GlowProfile);
            break;
        case 9: AddSprite(c[0].x, c[0].y, c[1].x % 300, &tex, s); break;
        default: AddSprite(c[0].x % 100, c[0].y % 100, 1 + rng() % 255, &tex, s); break;
        }
        ASSERT_TRUE(g.Intact()) << "draw " << n;
    }
}

TEST(Bounds, ScenesWithWildGeometryStayInside)
{
    std::mt19937 rng(99);
    TestTexture tex(256, 256, [](int x, int y) { return (uint32_t)(x ^ y) * 0x010101u; });
    Guarded g(80, 50);
    Scene scene;
    SceneCreate(&scene, 1, 40);
    Mesh* mesh = SceneAddMesh(&scene, 30, 60);
    Material materials[14];
    for (int t = 0; t < 14; t++) {
        MaterialInitDefaults(&materials[t]);
        materials[t].type = t;
        materials[t].textureA = materials[t].textureB = &tex;
        materials[t].edgeFlags = 7;
        materials[t].cullThreshold = -2.0f;
    }
    for (int round = 0; round < 150; round++) {
        mesh->vertexCount = 30;
        for (int i = 0; i < 30; i++) {
            MeshVertex& v = mesh->vertices[i];
            float scale = round % 3 == 0 ? 1e6f : 200.0f;
            v.x = ((float)(rng() % 2001) - 1000.0f) / 1000.0f * scale;
            v.y = ((float)(rng() % 2001) - 1000.0f) / 1000.0f * scale;
            v.z = ((float)(rng() % 2001) - 1000.0f) / 1000.0f * scale;
        }
        mesh->faceCount = 60; // more than the draw list holds
        for (int f = 0; f < 60; f++) {
            MeshFace& face = mesh->faces[f];
            for (int k = 0; k < 3; k++) {
                face.vertexIndex[k] = (int)(rng() % 33) - 1; // some out of range
                face.u[k] = (float)Wild(rng);
                face.v[k] = (float)Wild(rng);
            }
            face.material = &materials[rng() % 14];
        }
        MeshSetAngles(mesh, (int)rng(), (int)rng(), (int)rng());
        MeshSetPosition(mesh, 0, 0, (float)(rng() % 800) - 100.0f);
        SceneRender(&scene, &g.surface, (int)(rng() % 200) - 50, (int)(rng() % 200) - 50);
        ASSERT_TRUE(g.Intact()) << "round " << round;
        ASSERT_LE(scene.drawCount, 40);
    }
    MeshDestroy(mesh);
    SceneDestroy(&scene);
}

TEST(Bounds, CountsPastTheirCapacitiesAreNotTrusted)
{
    Guarded g(32, 32);
    Scene scene;
    SceneCreate(&scene, 1, 8);
    Mesh* mesh = &scene.meshes[0];
    MeshCreate(mesh, 3, 1);
    Material m;
    MaterialInitDefaults(&m);
    m.type = MATERIAL_FLAT;
    const float corner[3][3] = {{-10, -10, 50}, {30, -10, 50}, {-10, 30, 50}};
    for (int i = 0; i < 3; i++)
        mesh->vertices[i] = MeshVertex{corner[i][0], corner[i][1], corner[i][2], 0, 0, 0, 0, 0, 0, 0};
    mesh->faces[0] = MeshFace{};
    mesh->faces[0].vertexIndex[1] = 1;
    mesh->faces[0].vertexIndex[2] = 2;
    mesh->faces[0].material = &m;
    mesh->vertexCount = 1000;
    mesh->faceCount = 1000;
    scene.meshCount = 7;
    SceneRender(&scene, &g.surface, 16, 16);
    EXPECT_TRUE(g.Intact());
    EXPECT_EQ(scene.drawCount, 1);
    MeshDestroy(mesh);
    SceneDestroy(&scene);
}

// The effects' truncation: toward zero, NaN as 0, the low 32 bits of what a 64-bit conversion
// gives (beyond 9e18 it saturates there first); around the 32-bit edges both ways agree.
TEST(Bounds, TruncationTowardZeroForEveryInput)
{
    struct Case {
        double in;
        int32_t want;
    } cases[] = {
        {0.0, 0},
        {-0.75, 0},
        {2.999, 2},
        {-2.999, -2},
        {2147483647.9, 2147483647},
        {-2147483648.9, INT32_MIN},
        {2147483648.0, INT32_MIN},
        {4294967297.5, 1},
        {-2147483649.0, INT32_MAX},
        {1.0e30, (int32_t)(uint32_t)(int64_t)9.0e18},
        {-1.0e30, (int32_t)(uint32_t)(int64_t)-9.0e18},
        {std::nan(""), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EffectTrunc(c.in), c.want) << c.in;
}

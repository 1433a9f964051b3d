// One full 320 x 200 frame per effect at a fixed time, hashed, to catch regressions.
#include <gtest/gtest.h>

#include <cstdio>

#include "effects/blend.h"
#include "effects/filters.h"
#include "effects/patterns.h"
#include "effects/raycast.h"
#include "effects/scene.h"
#include "effects/sphere.h"
#include "effects/warp.h"
#include "tests/effects/effects_fixture.h"

namespace {
struct Textures : PatternTextures {
    Textures() { PatternTexturesCreate(this); }
    ~Textures() { PatternTexturesRelease(this); }
};

struct Frame : TestSurface {
    Frame() : TestSurface(320, 200, 0)
    {
        PatternFill(pixels.data(), 320, 200, PATTERN_PLASMA);
        for (uint32_t& p : pixels)
            p &= 0x3F3F3F; // a dim background the over-blending types can show through
    }
};

// A 960-face sphere of the given material at fixed angles.
uint64_t SphereFrame(const Material& material)
{
    Scene scene;
    SphereSceneCreate(&scene, 1);
    MeshSetAngles(SphereSceneAdd(&scene, 180, &material), 100, 200, 300);
    Frame f;
    SceneRender(&scene, &f, 160, 100);
    SphereSceneDestroy(&scene);
    return SurfaceHash(&f);
}

#define EXPECT_HASH(value, expected) \
    EXPECT_EQ(value, expected##ull) << "hash 0x" << std::hex << (value)
} // namespace

TEST(Checksums, MaterialTypesOnASphere)
{
    Textures t;
    struct Case {
        int type;
        uint64_t hash;
    } cases[] = {
        {1, 0x9fb8e2840ade4647ull},
        {2, 0x5c31ef0b49b4f57bull},
        {3, 0x8e18d46a216f69a3ull},
        {4, 0xb3af9fd57d545c2bull},
        {5, 0x1386861f557c65d9ull},
        {6, 0x26947204ff6f9aa0ull},
        {7, 0xe1f475ec16127d79ull},
        {8, 0x4cdd764c215548afull},
        {9, 0x88ca69a2d699d2c4ull},
        {10, 0xacebe3305df2f3f3ull},
        {11, 0x681293a28aae2ab3ull},
        {13, 0x655e1e327a2723a0ull},
    };
    for (const Case& k : cases) {
        Material m;
        PatternMaterialInit(&m, (MaterialType)k.type, t);
        uint64_t h = SphereFrame(m);
        EXPECT_EQ(h, k.hash) << "type " << k.type << " hash 0x" << std::hex << h;
    }
}

TEST(Checksums, DeformedSpheres)
{
    Textures t;
    Material m;
    SphereMaterialInit(&m, MATERIAL_TEXTURE_ENV, &t.checker, &t.rings);
    Scene scene;
    SphereSceneCreate(&scene, 1);
    Mesh* mesh = SphereSceneAdd(&scene, 180, &m);
    MeshSetAngles(mesh, 70, 70, 70);
    BlobFieldCreate(80.0f);
    BlobSphereDeform(mesh, 180, 32, 16, 100, 40.0f);
    Frame a;
    SceneRender(&scene, &a, 110, 120);
    EXPECT_HASH(SurfaceHash(&a), 0xebfc460270f29871);
    WaveSphereDeform(mesh, 180, 32, 16, 33.0f, 2, 3, 80, 30);
    Frame b;
    SceneRender(&scene, &b, 130, 100);
    EXPECT_HASH(SurfaceHash(&b), 0x4be5d19d1d6eb817);
    BlobFieldDestroy();
    SphereSceneDestroy(&scene);
}

TEST(Checksums, RayCasters)
{
    Textures t;
    Camera cam;
    CameraReset(&cam);
    Frame planes, sphere, tunnel;
    RaycastPlanes(&cam, &planes, 1.0f, &t.checker, 0, 123, 123, 2345.0f);
    EXPECT_HASH(SurfaceHash(&planes), 0xaa9c113985783b6f);
    CameraReset(&cam);
    RaycastSphere(&cam, &sphere, 1.0f, &t.checker, 0, 456, 456);
    EXPECT_HASH(SurfaceHash(&sphere), 0xb17517d22aef95d);
    CameraReset(&cam);
    RaycastTunnel(&cam, &tunnel, 1.0f, &t.checker, 0, 789, 789, 2345.0f);
    EXPECT_HASH(SurfaceHash(&tunnel), 0x7fb633405e59ca96);
}

TEST(Checksums, Warps)
{
    Textures t;
    ASSERT_TRUE(BlobWarpCreate(320, 200));
    ASSERT_TRUE(RippleWarpCreate(320, 200));
    Frame blob, ripple;
    BlobWarpRender(&blob, &t.checker, 40.0f, 54321);
    EXPECT_HASH(SurfaceHash(&blob), 0x905db7de2a47a0e3);
    RippleWarpRender(&ripple, 40.0f, &t.checker, 54321);
    EXPECT_HASH(SurfaceHash(&ripple), 0xfdcc9d9bb5d85307);
    RippleWarpDestroy();
    BlobWarpDestroy();
}

TEST(Checksums, Filters)
{
    Frame radial, box, noise, scratches, scroll, flash;
    RadialBlur(&radial, 0.26f, 160, 100);
    EXPECT_HASH(SurfaceHash(&radial), 0x2765e227b3bc877);
    RowBoxBlur(noise.pixels.data(), box.pixels.data() + 12800, 37, 32000);
    EXPECT_HASH(SurfaceHash(&box), 0xade4a64e81049600);
    Noise n;
    RandomSeed(1);
    ASSERT_TRUE(NoiseCreate(&n, 320, 200));
    NoiseFrame(&n, &noise);
    EXPECT_HASH(SurfaceHash(&noise), 0xf1af6f6dedf43fbb);
    NoiseDestroy(&n);
    RandomSeed(2);
    Scratches(40, &scratches);
    EXPECT_HASH(SurfaceHash(&scratches), 0x1bb1329530608ded);
    std::vector<uint32_t> tile(640 * 400);
    PatternFill(tile.data(), 640, 400, PATTERN_RINGS);
    Bitmap image{tile.data(), 640, 400};
    TiledScroll(&scroll, &image, -123, 4567, 640, 400);
    EXPECT_HASH(SurfaceHash(&scroll), 0x17aff0f6b4d0e948);
    std::vector<uint32_t> strip(320 * 1600);
    PatternFill(strip.data(), 320, 1600, PATTERN_CHECKER);
    Bitmap stripImage{strip.data(), 320, 1600};
    Envelope frameEnvelope{}, flashEnvelope{};
    ScratchFlashBind(&frameEnvelope, &flashEnvelope, &stripImage);
    EnvelopeTrigger(-90000.0f, 1000);
    ScratchFlash(&flash, 1000 + 1500);
    ScratchFlashBind(nullptr, nullptr, nullptr);
    EXPECT_HASH(SurfaceHash(&flash), 0xed961cf1309b6ce9);
}

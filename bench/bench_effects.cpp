// Time per 320 x 200 frame of every effect, next to copying one 64,000-pixel frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "effects/blend.h"
#include "effects/filters.h"
#include "effects/patterns.h"
#include "effects/raycast.h"
#include "effects/scene.h"
#include "effects/sphere.h"
#include "effects/warp.h"
#include "host/pixels.h"
#include "host/scratch.h"
#include "host/trig.h"


namespace {

const int kWidth = 320, kHeight = 200, kPixels = kWidth * kHeight;

struct Fixture {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kPixels);
    std::vector<uint32_t> source = std::vector<uint32_t>(kPixels);
    Surface frame{pixels.data(), kWidth, kHeight, kWidth * 4};
    PatternTextures textures{};
    const Texture& checker = textures.checker;

    Fixture()
    {
        PatternTexturesCreate(&textures);
        PatternFill(source.data(), kWidth, kHeight, PATTERN_PLASMA);
        std::memcpy(pixels.data(), source.data(), kPixels * 4);
    }
    ~Fixture() { PatternTexturesRelease(&textures); }
};

void FrameCopy(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        std::memcpy(f.pixels.data(), f.source.data(), kPixels * 4);
        benchmark::DoNotOptimize(f.pixels.data());
        benchmark::ClobberMemory();
    }
}

void SphereMaterial(benchmark::State& state)
{
    Fixture f;
    Material m;
    PatternMaterialInit(&m, (MaterialType)state.range(0), f.textures);
    Scene scene;
    SphereSceneCreate(&scene, 1);
    Mesh* mesh = SphereSceneAdd(&scene, 180, &m);
    int angle = 0;
    for (auto _ : state) {
        std::memcpy(f.pixels.data(), f.source.data(), kPixels * 4);
        MeshSetAngles(mesh, angle, angle, angle);
        angle += 7;
        SceneRender(&scene, &f.frame, 160, 100);
        benchmark::ClobberMemory();
    }
    SphereSceneDestroy(&scene);
}

void BlobSphere(benchmark::State& state)
{
    Fixture f;
    Material m;
    SphereMaterialInit(&m, MATERIAL_TEXTURE_ENV, &f.textures.checker, &f.textures.rings);
    Scene scene;
    SphereSceneCreate(&scene, 1);
    Mesh* mesh = SphereSceneAdd(&scene, 180, &m);
    BlobFieldCreate(80.0f);
    float t = 0;
    for (auto _ : state) {
        std::memcpy(f.pixels.data(), f.source.data(), kPixels * 4);
        BlobSphereDeform(mesh, 180.0f, kSphereRings, kSphereLats, 100, t += 0.3f);
        SceneRender(&scene, &f.frame, 110, 120);
        benchmark::ClobberMemory();
    }
    BlobFieldDestroy();
    SphereSceneDestroy(&scene);
}

void Raycaster(benchmark::State& state)
{
    Fixture f;
    Camera cam;
    CameraReset(&cam);
    int q = 0;
    for (auto _ : state) {
        q = (q + 3) & 1023;
        switch (state.range(0)) {
        case 0: RaycastPlanes(&cam, &f.frame, 1.0f, &f.checker, 0, q, q, (float)q * 5.0f); break;
        case 1: RaycastSphere(&cam, &f.frame, 1.0f, &f.checker, 0, q, q); break;
        default: RaycastTunnel(&cam, &f.frame, 1.0f, &f.checker, 0, q, q, (float)q * 5.0f); break;
        }
        benchmark::ClobberMemory();
    }
}

void Warp(benchmark::State& state)
{
    Fixture f;
    BlobWarpCreate(kWidth, kHeight);
    RippleWarpCreate(kWidth, kHeight);
    uint32_t t = 0;
    for (auto _ : state) {
        t += 17;
        if (state.range(0) == 0)
            BlobWarpRender(&f.frame, &f.checker, 40.0f, t);
        else
            RippleWarpRender(&f.frame, 40.0f, &f.checker, t);
        benchmark::ClobberMemory();
    }
    RippleWarpDestroy();
    BlobWarpDestroy();
}

void Filter(benchmark::State& state)
{
    Fixture f;
    Noise noise;
    NoiseCreate(&noise, kWidth, kHeight);
    std::vector<uint32_t> tile(640 * 400);
    PatternFill(tile.data(), 640, 400, PATTERN_RINGS);
    Bitmap image{tile.data(), 640, 400};
    std::vector<uint32_t> strip((size_t)kPixels * 8);
    PatternFill(strip.data(), kWidth, kHeight * 8, PATTERN_CHECKER);
    Bitmap stripImage{strip.data(), (uint32_t)kWidth, (uint32_t)kHeight * 8};
    Envelope frameEnvelope{}, flashEnvelope{};
    ScratchFlashBind(&frameEnvelope, &flashEnvelope, &stripImage);
    EnvelopeTrigger(-90000.0f, 0);
    uint32_t t = 0;
    for (auto _ : state) {
        t++;
        switch (state.range(0)) {
        case 0:
            std::memcpy(f.pixels.data(), f.source.data(), kPixels * 4);
            RadialBlur(&f.frame, 0.26f, 160, 100);
            break;
        case 1: RowBoxBlur(f.source.data(), f.pixels.data() + 12800, 1 + (int)(t % 99), 32000); break;
        case 2: NoiseFrame(&noise, &f.frame); break;
        case 3: Scratches(40, &f.frame); break;
        case 4: ScratchFlash(&f.frame, t % 600); break;
        default: TiledScroll(&f.frame, &image, (int)t, -(int)t, 640, 400); break;
        }
        benchmark::ClobberMemory();
    }
    ScratchFlashBind(nullptr, nullptr, nullptr);
    NoiseDestroy(&noise);
}

// Type 12 draws nothing: the scene's own share (transform, normals, sort, projection).
void MaterialArgs(benchmark::internal::Benchmark* b)
{
    for (int type : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})
        b->Arg(type);
}

} // namespace

BENCHMARK(FrameCopy);
BENCHMARK(SphereMaterial)->Apply(MaterialArgs)->ArgName("type");
BENCHMARK(BlobSphere);
BENCHMARK(Raycaster)->DenseRange(0, 2)->ArgName("planes0_sphere1_tunnel2");
BENCHMARK(Warp)->DenseRange(0, 1)->ArgName("blob0_ripple1");
BENCHMARK(Filter)->DenseRange(0, 5)->ArgName("radial0_box1_noise2_scratches3_flash4_scroll5");

int main(int argc, char** argv)
{
    BuildTrigTables();
    ScratchPoolCreate(774276);
    BlendTablesCreate();
    FogTableCreate();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FogTableDestroy();
    BlendTablesDestroy();
    ScratchPoolDestroy();
    return 0;
}

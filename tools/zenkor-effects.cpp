// zenkor-effects: renders every effect into PNG files so a person can look at them.
//   zenkor-effects gallery OUTDIR [--time MS]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/blend.h"
#include "effects/filters.h"
#include "effects/glow.h"
#include "effects/patterns.h"
#include "effects/raycast.h"
#include "effects/scene.h"
#include "effects/sphere.h"
#include "effects/warp.h"
#include "files/output_file.h"
#include "host/pixels.h"
#include "host/scratch.h"
#include "host/trig.h"
#include "images/png_writer.h"
#include "tools/support/tool.h"

namespace {

const int kWidth = 320, kHeight = 200;

// The textures every effect is drawn with, and where the pictures go.
struct Gallery : PatternTextures {
    std::string dir;
    uint32_t ms;
    int written = 0, failed = 0;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight);
    Surface frame{pixels.data(), kWidth, kHeight, kWidth * 4};
};

const char kUsage[] =
    "usage: zenkor-effects gallery OUTDIR [--time MS]\n"
    "Renders every effect at time MS (default 10000) into OUTDIR/<effect>.png:\n"
    "each material type on a sphere, glow lines, sprites, the blob and wave\n"
    "spheres, the three ray-cast environments, both warps and each filter.\n"
    "Prints each file written. MS is a whole number of milliseconds, 0 to 4294967295.\n"
    "Every file appears whole or not at all (written as NAME.part, then renamed).\n"
    "Exit status: 0 success, 1 failure (any file not written), 2 usage error.\n";

// A dim background the blending types can show through.
void Background(Gallery& g)
{
    PatternFill(g.pixels.data(), kWidth, kHeight, PATTERN_PLASMA);
    for (uint32_t& p : g.pixels)
        p &= 0x3F3F3F;
}

void Save(Gallery& g, const char* name)
{
    std::vector<uint8_t> rgb((size_t)kWidth * kHeight * 3);
    for (size_t i = 0; i < g.pixels.size(); i++) {
        rgb[i * 3 + 0] = (uint8_t)(g.pixels[i] >> 16);
        rgb[i * 3 + 1] = (uint8_t)(g.pixels[i] >> 8);
        rgb[i * 3 + 2] = (uint8_t)g.pixels[i];
    }
    std::string path = g.dir + "/" + name + ".png";
    std::vector<uint8_t> png;
    std::string error = "cannot encode '" + path + "'";
    if (PngEncode(png, rgb.data(), kWidth, kHeight, kWidth * 3, PngRGB) &&
        OutputFileSave(path, png.data(), png.size(), &error)) {
        ToolPrintf("%s\n", path.c_str());
        g.written++;
    } else {
        ToolFail(error);
        g.failed++;
    }
}

// One sphere of the given radius and material.
struct SphereScene {
    Scene scene{};
    Mesh* mesh;
    SphereScene(float radius, const Material* material)
    {
        SphereSceneCreate(&scene, 1);
        mesh = SphereSceneAdd(&scene, radius, material);
    }
    ~SphereScene() { SphereSceneDestroy(&scene); }
};

Material SphereMaterial(const Gallery& g, MaterialType type)
{
    Material m;
    PatternMaterialInit(&m, type, g);
    return m;
}

void Materials(Gallery& g)
{
    static const char* names[14] = {"",       "texture",      "environment", "glow-edges", "flat",
                                    "lit",    "sprite",       "texture-env", "glow-sprite", "texture-over",
                                    "colour-over", "gouraud", "none",        "texture-gouraud"};
    int q = (int)(g.ms * 0.1) & 0x3FF;
    for (int type = 1; type <= 13; type++) {
        if (type == 12)
            continue;
        Material m = SphereMaterial(g, (MaterialType)type);
        SphereScene s(180, &m);
        MeshSetAngles(s.mesh, q, q, q);
        Background(g);
        SceneRender(&s.scene, &g.frame, 160, 100);
        char name[64];
        std::snprintf(name, sizeof(name), "material-%02d-%s", type, names[type]);
        Save(g, name);
    }
}

void Spheres(Gallery& g)
{
    float lt = (float)g.ms;
    {
        Material m = SphereMaterial(g, MATERIAL_TEXTURE_ENV);
        SphereScene s(180, &m);
        BlobFieldCreate(80.0f);
        BlobSphereDeform(s.mesh, 180.0f, kSphereRings, kSphereLats, 100, lt * (1.0f / 90.0f));
        MeshSetAngles(s.mesh, (int)g.ms / 5, (int)g.ms / 5, (int)g.ms / 5);
        Background(g);
        SceneRender(&s.scene, &g.frame, 110, 120);
        BlobFieldDestroy();
        Save(g, "blob-sphere");
    }
    // Two wave spheres in one scene, the outer one with glow edges and sprites.
    Scene pair{};
    SphereSceneCreate(&pair, 2);
    Material materials[2] = {SphereMaterial(g, MATERIAL_TEXTURE_ENV), SphereMaterial(g, MATERIAL_GLOW_SPRITE)};
    materials[1].edgeFlags = 6;
    const float radii[2] = {180.0f, 200.0f};
    int q = (int)(lt * 0.2f) & 0x3FF;
    for (int i = 0; i < 2; i++) {
        Mesh* mesh = SphereSceneAdd(&pair, radii[i], &materials[i]);
        WaveSphereDeform(mesh, radii[i], kSphereRings, kSphereLats, lt * 0.02f, 2, 3, 80, 30);
        MeshSetAngles(mesh, q, q, q);
    }
    Background(g);
    SceneRender(&pair, &g.frame, 130, 100);
    SphereSceneDestroy(&pair);
    Save(g, "wave-spheres");
}

void LinesAndSprites(Gallery& g)
{
    std::fill(g.pixels.begin(), g.pixels.end(), 0);
    for (int i = 0; i < 24; i++) {
        int a = (int)(g.ms / 20 + i * 43) & 1023;
        int x = 160 + (int)(150 * CosineTable[a]), y = 100 + (int)(95 * SineTable[a]);
        GlowLine(160, 100, x, y, &g.frame, 255 - i * 8, 120 + i * 5, 60 + i * 8, GlowProfile);
    }
    Save(g, "glow-lines");
    Background(g);
    for (int i = 0; i < 12; i++) {
        int a = (int)(g.ms / 10 + i * 85) & 1023;
        AddSprite(160 + (int)(120 * CosineTable[a]), 100 + (int)(70 * SineTable[a]), 16 + i * 8, &g.glow,
                  &g.frame);
    }
    Save(g, "sprites");
}

void RayCasters(Gallery& g)
{
    float lt = (float)g.ms;
    int q = (int)(lt * 0.1f) & 0x3FF;
    Camera cam;
    CameraReset(&cam);
    RaycastPlanes(&cam, &g.frame, 1.0f, &g.checker, 0, q, q, lt * 0.5f);
    Save(g, "raycast-planes");
    CameraReset(&cam);
    RaycastSphere(&cam, &g.frame, 1.0f, &g.checker, 0, (int)(lt * 0.2f) & 0x3FF, (int)(lt * 0.2f) & 0x3FF);
    Save(g, "raycast-sphere");
    CameraReset(&cam);
    RaycastTunnel(&cam, &g.frame, 1.0f, &g.checker, 0, q, q, lt * 0.5f);
    Save(g, "raycast-tunnel");
}

void Warps(Gallery& g)
{
    if (BlobWarpCreate(kWidth, kHeight)) {
        BlobWarpRender(&g.frame, &g.checker, 40.0f, g.ms);
        Save(g, "blob-warp");
        BlobWarpDestroy();
    }
    if (RippleWarpCreate(kWidth, kHeight)) {
        RippleWarpRender(&g.frame, 40.0f, &g.checker, g.ms);
        Save(g, "ripple-warp");
        RippleWarpDestroy();
    }
}

void Filters(Gallery& g)
{
    PatternFill(g.pixels.data(), kWidth, kHeight, PATTERN_CHECKER);
    RadialBlur(&g.frame, 0.26f, 160, 100);
    Save(g, "radial-blur");

    std::vector<uint32_t> source(kWidth * 100);
    PatternFill(source.data(), kWidth, 100, PATTERN_CHECKER);
    std::fill(g.pixels.begin(), g.pixels.end(), 0);
    int radius = (int)(50 - 49 * std::cos(g.ms * (1.0 / 1100.0)));
    RowBoxBlur(source.data(), g.pixels.data() + 40 * kWidth, radius, kWidth * 100);
    Save(g, "row-box-blur");

    Noise noise;
    if (NoiseCreate(&noise, kWidth, kHeight)) {
        NoiseFrame(&noise, &g.frame);
        Save(g, "noise");
        NoiseDestroy(&noise);
    }

    Background(g);
    Scratches(40, &g.frame);
    Save(g, "scratches");

    std::vector<uint32_t> strip((size_t)kWidth * kHeight * 8);
    for (int k = 0; k < 8; k++) {
        uint32_t* f = strip.data() + (size_t)k * kWidth * kHeight;
        std::fill(f, f + kWidth * kHeight, 0);
        for (int y = 0; y < kHeight; y++)
            for (int s = 0; s < 3; s++)
                f[y * kWidth + (40 + k * 31 + s * 97 + y / (9 + s)) % kWidth] = 0xFFE0E0E0;
    }
    Bitmap stripBitmap{strip.data(), (uint32_t)kWidth, (uint32_t)kHeight * 8};
    Envelope frameEnvelope{}, flashEnvelope{};
    ScratchFlashBind(&frameEnvelope, &flashEnvelope, &stripBitmap);
    EnvelopeTrigger(-90000.0f, 0);
    Background(g);
    ScratchFlash(&g.frame, g.ms % 600);
    ScratchFlashBind(nullptr, nullptr, nullptr);
    Save(g, "scratch-flash");

    std::vector<uint32_t> tile(640 * 400);
    PatternFill(tile.data(), 640, 400, PATTERN_RINGS);
    Bitmap tileBitmap{tile.data(), 640, 400};
    TiledScroll(&g.frame, &tileBitmap, (int)(g.ms / 40), -(int)(g.ms / 50), 640, 400);
    Save(g, "tiled-scroll");
}

int Run(const char* dir, uint32_t ms)
{
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return ToolFail(std::string("cannot create '") + dir + "': " + error.message());
    BuildTrigTables();
    ScratchPoolCreate(774276);
    if (!BlendTablesCreate() || !FogTableCreate()) {
        std::fprintf(stderr, "zenkor-effects: out of memory\n");
        return 1;
    }
    Gallery g;
    g.dir = dir;
    g.ms = ms;
    PatternTexturesCreate(&g);
    Materials(g);
    LinesAndSprites(g);
    Spheres(g);
    RayCasters(g);
    Warps(g);
    Filters(g);
    PatternTexturesRelease(&g);
    FogTableDestroy();
    BlendTablesDestroy();
    ScratchPoolDestroy();
    std::fprintf(stderr, "zenkor-effects: %d images written to %s\n", g.written, dir);
    return g.failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    ToolInit("zenkor-effects");
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return ToolFinish(0);
        }
    }
    if (argc < 2)
        return ToolUsage("", kUsage);
    if (std::strcmp(argv[1], "gallery") != 0)
        return ToolUsage(std::string(argv[1][0] == '-' ? "unknown option '" : "unknown command '") + argv[1] + "'",
                         kUsage);
    uint32_t ms = 10000;
    const char* dir = nullptr;
    for (int i = 2; i < argc; i++) {
        if (!std::strcmp(argv[i], "--time")) {
            if (i + 1 >= argc)
                return ToolUsage("--time needs a number of milliseconds", kUsage);
            uint64_t v;
            if (!ToolParseWhole(argv[++i], 0xFFFFFFFFu, &v))
                return ToolUsage(std::string("--time needs a whole number of milliseconds from 0 to 4294967295, not '") +
                                     argv[i] + "'",
                                 kUsage);
            ms = (uint32_t)v;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return ToolUsage(std::string("unknown option '") + argv[i] + "'", kUsage);
        } else if (dir) {
            return ToolUsage("gallery takes one OUTDIR", kUsage);
        } else {
            dir = argv[i];
        }
    }
    if (!dir)
        return ToolUsage("gallery takes one OUTDIR", kUsage);
    return ToolFinish(Run(dir, ms));
}

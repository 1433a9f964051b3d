// The production's configuration, set-up and teardown. Main thread, before the frame thread
// starts and after it has been joined.
#include <cstring>

#include "effects/blend.h"
#include "effects/sphere.h"
#include "effects/warp.h"
#include "host/cpu.h"
#include "host/fatal.h"
#include "host/host.h"
#include "host/picture.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "production/murova.h"

MurovaObjects murova;

// The window icon, resource 101: a 32-bit bitmap (pixels 0xAARRGGBB, rows bottom-up), kept top
// down for the window. It lives as long as the program: the display points at it until it shuts
// down, after the teardown.
static struct {
    uint32_t pixels[64 * 64];
    WindowIcon icon;
} programIcon;

static uint32_t ReadU32(const unsigned char* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// The icon, or null when the program carries none or one it cannot read.
static const WindowIcon* LoadProgramIcon()
{
    ResourceInfo resource;
    if (!ResourceFind("Icon", 101, &resource) || resource.size < 54)
        return nullptr;
    const unsigned char* bmp = resource.data;
    uint32_t offset = ReadU32(bmp + 10);
    int32_t width = (int32_t)ReadU32(bmp + 18), height = (int32_t)ReadU32(bmp + 22);
    bool bottomUp = height > 0;
    height = bottomUp ? height : -height;
    bool readable = bmp[0] == 'B' && bmp[1] == 'M' && bmp[28] == 32 && ReadU32(bmp + 30) == 0 &&
                    width > 0 && width <= 64 && height > 0 && height <= 64;
    if (!readable || offset > resource.size || resource.size - offset < (uint32_t)(width * height * 4))
        return nullptr;
    for (int32_t y = 0; y < height; y++) {
        const unsigned char* row = bmp + offset + (size_t)(bottomUp ? height - 1 - y : y) * width * 4;
        for (int32_t x = 0; x < width; x++)
            programIcon.pixels[y * width + x] = ReadU32(row + x * 4);
    }
    programIcon.icon = WindowIcon{programIcon.pixels, width, height};
    return &programIcon.icon;
}

void DemoConfigure(DemoConfig& config)
{
    config.width = 320;
    config.height = 200;
    config.archiveName = "murova.pak";
    config.moduleName = "murova.xm";
    config.title = "Murova by Tarsel";
    config.scratchPoolSize = 774276;
    config.scaleX = 0.95f;
    config.scaleY = 0.95f;
    config.icon = LoadProgramIcon();
}

// The effects' builders fail only when memory runs out.
static void Require(bool built)
{
    if (!built)
        FatalError("Out of memory setting up the demo!");
}

// Pictures the scenes read as raw runs of pixels (screened or copied whole, not blitted with
// clipping) must hold at least that many, or a short file would have them read past its end.
static void RequirePixels(const Bitmap& picture, const char* name, uint32_t width, uint32_t height)
{
    if ((uint64_t)picture.width * picture.height < (uint64_t)width * height)
        FatalError("Image '%s' is %ux%u, smaller than %ux%u!", name, picture.width, picture.height, width, height);
}

static void LoadFirstPictures(MurovaPictures& p)
{
    BitmapLoad(p.start, "start.jpg");
    RequirePixels(p.start, "start.jpg", 320, 100);
    TextureLoad(p.defaultTexture, "default.jpg");
    BitmapLoad(p.logo, "tarsel.jpg");
    BitmapLoad(p.formule, "formule.jpg");
    BitmapLoad(p.code, "code.jpg");
    BitmapLoad(p.music, "music.jpg");
    TextureLoad(p.def2, "def2.jpg");
    BitmapLoad(p.zooi, "zooi.jpg");
    RequirePixels(p.zooi, "zooi.jpg", 320, 1000);
    BitmapLoad(p.scratch, "scratch.pcx");
    TextureLoad(p.hohoho, "hohoho.jpg");
    BitmapLoadWithAlpha(p.refuse, "refuse.jpg", "refusea.jpg");
    BitmapLoad(p.chago, "chago.jpg");
    RequirePixels(p.chago, "chago.jpg", 320, 200);
    BitmapLoad(p.tekst3, "tekst3.jpg");
    BitmapLoad(p.tekst4, "tekst4.jpg");
    BitmapLoad(p.tekst5, "tekst5.jpg");
    BitmapLoad(p.sat, "sat.jpg");
    TextureLoad(p.water, "water.pcx");
    BitmapLoadWithAlpha(p.diurne3, "diurne3.pcx", "diurne3a.pcx");
    BitmapLoad(p.diurne1, "diurne1.jpg");
    BitmapLoadWithAlpha(p.meid, "meid2.jpg", "meid.jpg");
}

static void LoadLastPictures(MurovaPictures& p)
{
    TextureLoad(p.water2, "water2.jpg");
    BitmapLoadWithAlpha(p.hebben, "hebben2.jpg", "hebben1.jpg");
    BitmapLoadWithAlpha(p.heers, "heers2.jpg", "heers1.jpg");
    TextureLoad(p.bot, "bot.jpg");
    BitmapLoadWithAlpha(p.keers, "keers2.jpg", "keers1.jpg");
    TextureLoad(p.bol, "bol.jpg");
    RequirePixels(p.bol, "bol.jpg", 256, 256);
    TextureLoad(p.bol2, "bol2.jpg");
    RequirePixels(p.bol2, "bol2.jpg", 256, 256);
}

bool DemoSetup(const DemoConfig& config)
{
    if (!HasMmx())
        FatalError("This demo requires MMX technology");
    MurovaObjects& o = murova;
    MurovaPictures& p = o.pictures;
    int width = (int)config.width, height = (int)config.height;
    Require(NoiseCreate(&o.noise, width, height));
    LoadFirstPictures(p);

    BlobFieldCreate(80.0f);
    o.frameEnvelope = Envelope{};
    o.flashEnvelope = Envelope{};
    ScratchFlashBind(&o.frameEnvelope, &o.flashEnvelope, &p.scratch);
    Require(BlendTablesCreate());
    SphereSceneCreate(&o.sphereScene, 1);

    TextureLoad(p.envmap, "envmap.jpg");
    TextureLoad(p.test, "test.jpg");
    TextureLoad(p.lens, "lens.jpg");
    SphereMaterialInit(&o.materialA, MATERIAL_TEXTURE_ENV, &p.test, &p.envmap);
    SphereSceneAdd(&o.sphereScene, 180.0f, &o.materialA);

    BitmapLoad(p.tekst, "tekst.jpg");
    BitmapLoad(p.tekst2, "tekst2.jpg");
    SurfaceCreate(o.trailSurface, width, height);
    SurfaceFill(o.trailSurface, 0);

    SphereSceneCreate(&o.pairScene, 2);
    SphereMaterialInit(&o.materialB, MATERIAL_TEXTURE_ENV, &p.test, &p.envmap);
    SphereMaterialInit(&o.materialC, MATERIAL_GLOW_SPRITE, nullptr, &p.lens);
    o.materialC.edgeFlags = 6;
    SphereSceneAdd(&o.pairScene, 180.0f, &o.materialB);
    SphereSceneAdd(&o.pairScene, 200.0f, &o.materialC);

    Require(RippleWarpCreate(width, height));
    Require(FogTableCreate());
    CameraReset(&o.tunnelCamera);
    CameraReset(&o.planesCamera);
    Require(BlobWarpCreate(width, height));
    SurfaceCreate(o.workSurface, width, height);

    LoadLastPictures(p);
    TextureCreate(o.workTexture, p.bol.width, p.bol.height);
    CameraReset(&o.sphereCamera);

    BitmapLoadWithAlpha(p.bert, "bert2.jpg", "bert1.jpg");
    BitmapLoad(p.frut, "frut.jpg");
    BitmapLoad(p.einde, "einde.jpg");
    TimelineReset();
    return true;
}

static void Release(Bitmap& bitmap)
{
    BitmapRelease(bitmap);
}

static void Release(Texture& texture)
{
    TextureRelease(texture);
}

// Releases the pictures in the order given.
template <typename... Picture>
static void Release(Picture&... pictures)
{
    (Release(pictures), ...);
}

void DemoTeardown()
{
    MurovaObjects& o = murova;
    MurovaPictures& p = o.pictures;
    Release(p.start, p.defaultTexture, p.logo, p.formule, p.code, p.music, p.def2, p.zooi, p.scratch, p.hohoho,
            p.refuse, p.chago, p.tekst3, p.tekst4, p.tekst5, p.sat, p.water, p.diurne3, p.diurne1, p.meid);
    Release(p.envmap, p.test, p.lens);
    NoiseDestroy(&o.noise);
    BlobFieldDestroy();
    ScratchFlashBind(nullptr, nullptr, nullptr);
    BlendTablesDestroy();
    SphereSceneDestroy(&o.sphereScene);
    Release(p.tekst, p.tekst2);
    SurfaceRelease(o.trailSurface);
    SphereSceneDestroy(&o.pairScene);
    RippleWarpDestroy();
    BlobWarpDestroy();
    SurfaceRelease(o.workSurface);
    Release(p.water2, p.hebben, p.heers, p.bot, p.keers, p.bol, p.bol2, o.workTexture);
    Release(p.bert, p.frut, p.einde);
    FogTableDestroy();
    murova = MurovaObjects{};
}

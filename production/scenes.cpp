// The sixteen scenes of the timeline, each drawn in full over the frame: its first layer writes
// every pixel, so the frame is never cleared. Frame thread only.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/sphere.h"
#include "effects/warp.h"
#include "host/random.h"
#include "production/murova.h"

namespace {

constexpr size_t kFramePixels = 320 * 200;

MurovaPictures& Pictures()
{
    return murova.pictures;
}

Surface& Work()
{
    return murova.workSurface;
}

uint32_t Now(const SceneMoment& m)
{
    return (uint32_t)m.now;
}

void Restart(Envelope& envelope, const SceneMoment& m, float value, float rate)
{
    EnvelopeRestart(&envelope, Now(m), value, rate);
}

// Screens a full frame of pixels over the frame at intensity k.
void Screen(const SceneMoment& m, const uint32_t* pixels, uint32_t k)
{
    SpanScreen(m.frame->pixels, pixels, kFramePixels, k);
}

void ScreenWork(const SceneMoment& m, uint32_t k)
{
    Screen(m, Work().pixels, k);
}

// Grey specks on the work layer in one frame of every four rows.
void ScratchesOnWork(const SceneMoment& m)
{
    int32_t step = m.v / 4;
    if (step == timeline.lastNoiseStep)
        return;
    timeline.lastNoiseStep = step;
    Scratches((int)((unsigned)RandomNext() % ((unsigned)Work().height / 5)), &Work());
}

// trunc((1 + wave) * 160) and trunc((1 + wave) * 100): the formule page's scroll offsets.
int32_t SwingX(long double wave)
{
    return Trunc((1.0L + wave) * 160.0L);
}

int32_t SwingY(long double wave)
{
    return Trunc((1.0L + wave) * 100.0L);
}

void FormuleSwingingWithRow(const SceneMoment& m, uint32_t k)
{
    long double wave = std::sin((long double)(m.row / 2));
    TiledScroll(&Work(), &Pictures().formule, SwingX(wave), SwingY(wave), 640, 400);
    ScreenWork(m, k);
}

// The angle the ray casters turn by: trunc(time x k) in 1024ths of a turn.
int32_t Turn(int32_t time, float k)
{
    return TimeScale(time, k) & 0x3FF;
}

float CameraTravel(int32_t lt)
{
    return (float)((long double)lt * 0.5L);
}

} // namespace

// Noise, and the start picture blurred by a swinging radius, fading in over the first pattern.
void Scene0(const SceneMoment& m)
{
    NoiseFrame(&murova.noise, m.frame);
    SurfaceFill(Work(), 0);
    int32_t radius = Trunc(50.0L - 49.0L * std::cos((long double)m.lt * (long double)(1.0f / 1100.0f)));
    RowBoxBlur(Pictures().start.pixels, Work().pixels + 12800, radius, 32000);
    int32_t fade = Trunc(128.0L - 127.5L * std::cos((long double)m.lt * (long double)(1.0f / 2100.0f)));
    SpanCrossFade(m.frame->pixels, Work().pixels, kFramePixels, (uint32_t)fade & 0xFF);
    if (m.order == 0)
        SurfaceDarken(*m.frame, (uint32_t)(m.row * 2) & 0xFF);
}

// The logo over a rippling texture, pulsing with the stabs at rows 0x68 and 0x76.
void Scene1(const SceneMoment& m)
{
    if (Crossed(m, 0x0368))
        Restart(timeline.layerEnvelope, m, 0.26f, 0.0004f);
    if (Crossed(m, 0x0376))
        Restart(timeline.layerEnvelope, m, 0.26f, 0.0003f);
    RippleWarpRender(m.frame, 40.0f, &Pictures().defaultTexture, Now(m));
    BlitCopy(Work(), Pictures().logo, 0, 0);
    RadialBlur(&Work(), EnvelopeValue(&timeline.layerEnvelope, Now(m)), 160, 100);
    ScreenWork(m, 255);
    FlashLayer(m, timeline.introEnvelope);
}

// A credit picture under the scrolling formule page, flashing in at the scene's first row and
// pulsing with the stabs at rows 0x68 and 0x76.
static void CreditScene(const SceneMoment& m, uint16_t start, const Bitmap& credit, long double swingX, long double swingY)
{
    if (Crossed(m, start))
        Restart(timeline.introEnvelope, m, 255.0f, 0.2f);
    if (Crossed(m, (uint16_t)(start + 0x68)) || Crossed(m, (uint16_t)(start + 0x76)))
        Restart(timeline.layerEnvelope, m, 0.26f, 0.0004f);
    TiledScroll(&Work(), &Pictures().formule, SwingX(swingX), SwingY(swingY), 640, 400);
    RadialBlur(&Work(), EnvelopeValue(&timeline.layerEnvelope, Now(m)), 160, 100);
    BlitCopy(*m.frame, credit, 0, 0);
    ScreenWork(m, 128);
    FlashLayer(m, timeline.introEnvelope);
}

// The code credit, the page swinging with the row.
void Scene2(const SceneMoment& m)
{
    long double wave = std::sin((long double)(m.row / 2));
    CreditScene(m, 0x0400, Pictures().code, wave, wave);
}

// The music credit, the page swinging on two rhythms.
void Scene3(const SceneMoment& m)
{
    CreditScene(m, 0x0500, Pictures().music, std::sin((long double)(m.row / 2)), std::cos((long double)(m.row / 3)));
}

// A rippling texture and the five photos, one after another on the stabs.
void Scene4(const SceneMoment& m)
{
    static const struct {
        uint16_t from;
        int photo;
    } kPhotos[] = {{0x0658, 4}, {0x0646, 3}, {0x063C, 2}, {0x062C, 1}, {0x0620, 0}};
    RippleWarpRender(m.frame, 40.0f, &Pictures().def2, Now(m));
    FlashLayer(m, timeline.layerEnvelope);
    FormuleSwingingWithRow(m, 128);
    for (const auto& p : kPhotos) {
        if (m.v >= p.from) {
            Screen(m, Pictures().zooi.pixels + (size_t)p.photo * kFramePixels, 255);
            break;
        }
    }
}

// The tunnel, the refuse figure and the first text page.
void Scene5(const SceneMoment& m)
{
    int32_t q = Turn(m.lt, 0.1f);
    RaycastTunnel(&murova.tunnelCamera, m.frame, m.frame->aspect, &Pictures().hohoho, 0, q, q, CameraTravel(m.lt));
    BlitAlpha(*m.frame, Pictures().refuse, 0, 0);
    TiledScroll(&Work(), &Pictures().tekst, 0, m.lt / 50, 320, 600);
    ScratchesOnWork(m);
    ScreenWork(m, 85);
}

// The tunnel turning the other way, chago, and two scrolling layers.
void Scene6(const SceneMoment& m)
{
    int32_t q = Trunc(-(long double)m.lt * (long double)(1.0f / 13.0f)) & 0x3FF;
    RaycastTunnel(&murova.tunnelCamera, m.frame, m.frame->aspect, &Pictures().def2, 0, q, q, CameraTravel(m.lt));
    Screen(m, Pictures().chago.pixels, 185);
    TiledScroll(&Work(), &Pictures().tekst3, 30, m.lt / 50, 320, 600);
    ScreenWork(m, 85);
    TiledScroll(&Work(), &Pictures().sat, m.lt / 40, 0, 640, 200);
    ScratchesOnWork(m);
    ScreenWork(m, 185);
}

// Rippling water under the diurne figure, the formule page and text scrolling up.
void Scene7(const SceneMoment& m)
{
    RippleWarpRender(m.frame, 40.0f, &Pictures().water, Now(m));
    BlitAlpha(*m.frame, Pictures().diurne3, 0, 0);
    FormuleSwingingWithRow(m, 128);
    TiledScroll(&Work(), &Pictures().tekst, std::min(170, 174 - m.margin), 550 - m.lt / 30, 320, 600);
    ScreenWork(m, 145);
}

// The blob sphere over diurne1, with text and a motion trail of half the previous frame.
void Scene8(const SceneMoment& m)
{
    Mesh* sphere = &murova.sphereScene.meshes[0];
    BlitCopy(*m.frame, Pictures().diurne1, 0, 0);
    BlobSphereDeform(sphere, 180.0f, kSphereRings, kSphereLats, 100,
                     (float)((long double)m.lt * (long double)(1.0f / 90.0f)));
    MeshSetAngles(sphere, m.lt / 5, m.lt / 5, m.lt / 5);
    SceneRender(&murova.sphereScene, m.frame, 110, 120);
    long double wave = std::sin((long double)m.row);
    TiledScroll(&Work(), &Pictures().formule, SwingX(wave), SwingY(wave), 640, 400);
    ScreenWork(m, 190);
    TiledScroll(&Work(), &Pictures().tekst3, 30, m.lt / 50, 320, 600);
    ScreenWork(m, 125);
    SpanCrossFade(m.frame->pixels, murova.trailSurface.pixels, kFramePixels, 128);
    std::memcpy(murova.trailSurface.pixels, m.frame->pixels, kFramePixels * sizeof(uint32_t));
}

// Floor and ceiling, the meid figure and the second text page.
void Scene9(const SceneMoment& m)
{
    int32_t q = Turn(m.lt, 0.1f);
    RaycastPlanes(&murova.planesCamera, m.frame, m.frame->aspect, &Pictures().hohoho, 0, q, q, CameraTravel(m.lt));
    BlitAlpha(*m.frame, Pictures().meid, 0, 0);
    TiledScroll(&Work(), &Pictures().tekst2, std::min(30, 36 - m.margin), m.lt / 50, 320, 600);
    ScreenWork(m, 85);
}

// Blob-warped water, heers, and the four hebben pictures each shown for 16 rows.
void Scene10(const SceneMoment& m)
{
    static const struct {
        uint16_t from, to;
        int32_t y; // which of the four stacked pictures
    } kHebben[] = {
        {0x1700, 0x1710, 0}, {0x1720, 0x1730, -200}, {0x1740, 0x1750, -400}, {0x1760, 0x1770, -600},
        {0x1800, 0x1810, 0}, {0x1820, 0x1830, -200}, {0x1840, 0x1850, -400}, {0x1860, 0x1870, -600},
    };
    BlobWarpRender(m.frame, &Pictures().water2, 40.0f, Now(m));
    BlitAlpha(*m.frame, Pictures().heers, 0, 0);
    for (const auto& h : kHebben)
        if (m.v >= h.from && m.v < h.to)
            BlitAlpha(*m.frame, Pictures().hebben, 0, h.y);
}

// Where the film-scratch animation restarts: the first row of each order with threshold
// -90,000 (always), the others with 5 (only when the previous run has nearly finished).
const struct {
    uint16_t position;
    float threshold;
} kHits[] = {
    {0x1C58, -90000.0f}, {0x1C5C, 5.0f}, {0x1C60, 5.0f}, {0x1C68, 5.0f}, {0x1C70, 5.0f}, {0x1C78, 5.0f},
    {0x1D28, -90000.0f}, {0x1D2C, 5.0f}, {0x1D30, 5.0f}, {0x1D34, 5.0f}, {0x1D38, 5.0f}, {0x1D3C, 5.0f},
    {0x1E28, -90000.0f}, {0x1E30, 5.0f}, {0x1E34, 5.0f}, {0x1E38, 5.0f}, {0x1E3C, 5.0f}, {0x1E58, 5.0f},
    {0x1E5C, 5.0f},      {0x1E60, 5.0f}, {0x1E70, 5.0f}, {0x1E74, 5.0f}, {0x1E78, 5.0f},
    {0x1F28, -90000.0f}, {0x1F30, 5.0f}, {0x1F34, 5.0f}, {0x1F38, 5.0f}, {0x1F3C, 5.0f},
    {0x2028, -90000.0f}, {0x2030, 5.0f}, {0x2034, 5.0f}, {0x2038, 5.0f}, {0x203C, 5.0f}, {0x2058, 5.0f},
    {0x205C, 5.0f},      {0x2060, 5.0f}, {0x2070, 5.0f}, {0x2074, 5.0f}, {0x2078, 5.0f},
};

// Planes, then from order 29 the tunnel, under keers, text, scratches and film-scratch hits.
void Scene11(const SceneMoment& m)
{
    for (const auto& hit : kHits)
        if (Crossed(m, hit.position))
            EnvelopeTrigger(hit.threshold, Now(m));
    int32_t q = Turn(m.lt, 0.1f);
    if (m.v < 0x1D00)
        RaycastPlanes(&murova.planesCamera, m.frame, m.frame->aspect, &Pictures().bot, 0, q, q, CameraTravel(m.lt));
    else
        RaycastTunnel(&murova.tunnelCamera, m.frame, m.frame->aspect, &Pictures().bot, 0, q, q, CameraTravel(m.lt));
    BlitAlpha(*m.frame, Pictures().keers, 0, 0);
    if (m.v < 0x1EFF)
        TiledScroll(&Work(), &Pictures().tekst4, std::min(0, 8 - m.margin), m.lt / 50, 320, 600);
    else
        SurfaceFill(Work(), 0);
    ScratchesOnWork(m);
    ScreenWork(m, 85);
    if (m.v >= 0x1C58)
        ScratchFlash(m.frame, Now(m));
}

// Inside a sphere whose texture breathes between bol and bol2, sat scrolling, bert on top.
void Scene12(const SceneMoment& m)
{
    int32_t q = Trunc((long double)Now(m) * (long double)0.2f) & 0x3FF;
    Texture& texture = murova.workTexture;
    std::memcpy(texture.pixels, Pictures().bol.pixels, 65536 * sizeof(uint32_t));
    int32_t mix = Trunc(128.0L - 127.5L * std::cos((long double)m.now * (long double)(1.0f / 210.0f)));
    SpanCrossFade(texture.pixels, Pictures().bol2.pixels, 65536, (uint32_t)mix & 0xFF);
    RaycastSphere(&murova.sphereCamera, m.frame, m.frame->aspect, &texture, 0, q, q);
    TiledScroll(&Work(), &Pictures().sat, TimeScale(m.now, 1.0f / 30.0f), 0, 640, 200);
    ScreenWork(m, 85);
    BlitAlpha(*m.frame, Pictures().bert, 0, 0);
}

// Two wave spheres over frut, the inner textured, the outer glowing with lens sprites.
void Scene13(const SceneMoment& m)
{
    int32_t q = Turn(m.lt, 0.2f);
    BlitCopy(*m.frame, Pictures().frut, 0, 0);
    float time = (float)((long double)m.lt * (long double)0.02f);
    Mesh* meshes = murova.pairScene.meshes;
    WaveSphereDeform(&meshes[0], 180.0f, kSphereRings, kSphereLats, time, 2, 3, 80, 30);
    WaveSphereDeform(&meshes[1], 200.0f, kSphereRings, kSphereLats, time, 2, 3, 80, 30);
    MeshSetAngles(&meshes[0], q, q, q);
    MeshSetAngles(&meshes[1], q, q, q);
    SceneRender(&murova.pairScene, m.frame, 130, 100);
    TiledScroll(&Work(), &Pictures().tekst5, std::max(0, m.margin - 6), TimeScale(m.lt, 0.05f), 320, 850);
    ScreenWork(m, 185);
}

// The end picture.
void Scene14(const SceneMoment& m)
{
    BlitCopy(*m.frame, Pictures().einde, 0, 0);
}

// The end picture fading to black after order 41, row 120.
void Scene15(const SceneMoment& m)
{
    BlitCopy(*m.frame, Pictures().einde, 0, 0);
    SurfaceDarken(*m.frame, (uint32_t)Trunc(EnvelopeValue(&timeline.layerEnvelope, Now(m))));
}

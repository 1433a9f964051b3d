// The timeline: DemoFrame picks the scene the music is in, fires the scene boundaries and draws.
// Frame thread only.
#include <cmath>

#include "host/host.h"
#include "production/murova.h"
#include "production/timeline.h"

TimelineState timeline;

namespace {

struct SceneEntry {
    uint16_t from; // first position (order << 8 | row); the scene lasts until the next one's
    void (*draw)(const SceneMoment& m);
};

const SceneEntry kScenes[] = {
    {0x0000, Scene0},  {0x0300, Scene1},  {0x0400, Scene2},  {0x0500, Scene3},
    {0x0600, Scene4},  {0x0700, Scene5},  {0x0B00, Scene6},  {0x0F00, Scene7},
    {0x1100, Scene8},  {0x1300, Scene9},  {0x1700, Scene10}, {0x1900, Scene11},
    {0x2100, Scene12}, {0x2500, Scene13}, {0x2900, Scene14}, {0x2978, Scene15},
};
static_assert(sizeof kScenes / sizeof kScenes[0] == kTimelineScenes);

// Crossing one of these starts the scene clock again; scenes 0 to 4 count from the first frame.
const uint16_t kSceneClockStarts[] = {0x0700, 0x0B00, 0x0F00, 0x1100, 0x1300,
                                      0x1700, 0x1900, 0x2100, 0x2500, 0x2900};

} // namespace

uint16_t TimelineSceneStart(int scene)
{
    return kScenes[scene < 0 ? 0 : (scene >= kTimelineScenes ? kTimelineScenes - 1 : scene)].from;
}

int TimelineSceneAt(uint16_t v)
{
    int scene = 0;
    while (scene + 1 < kTimelineScenes && v >= kScenes[scene + 1].from)
        scene++;
    return scene;
}

int32_t Trunc(long double x)
{
    if (!(x == x))
        return 0;
    if (x >= 2147483647.0L)
        return 2147483647;
    if (x <= -2147483648.0L)
        return (int32_t)-2147483647 - 1;
    return (int32_t)x;
}

int32_t TimeScale(int32_t time, float k)
{
    return Trunc((long double)time * (long double)k);
}

void FlashLayer(const SceneMoment& m, const Envelope& envelope)
{
    SurfaceFlash(*m.frame, (uint32_t)Trunc(EnvelopeValue(&envelope, (uint32_t)m.now)));
}

void TimelineReset()
{
    timeline.sceneStart = 0;
    EnvelopeRestart(&timeline.layerEnvelope, 0, 0.0f, 0.0f);
    EnvelopeRestart(&timeline.introEnvelope, 0, 0.0f, 0.0f);
    timeline.lastNoiseStep = -1;
}

bool DemoFrame(FrameSurface& frame, const FrameInfo& info)
{
    SceneMoment m{};
    m.frame = &frame;
    m.info = &info;
    m.v = info.position;
    m.row = m.v & 0xFF;
    m.order = m.v >> 8;
    m.now = info.timeMs;
    m.margin = Trunc((1.0L - (long double)frame.scaleX) * (long double)frame.width * 0.5L);
    uint32_t now = (uint32_t)m.now;
    if (info.previousPosition == 0xFFFF) {
        timeline.sceneStart = m.now;
        EnvelopeRestart(&timeline.layerEnvelope, now, 0.0f, 0.0f);
        EnvelopeRestart(&timeline.introEnvelope, now, 0.0f, 0.0f);
    }
    for (uint16_t p : kSceneClockStarts)
        if (Crossed(m, p))
            timeline.sceneStart = m.now;
    m.lt = (int32_t)(now - (uint32_t)timeline.sceneStart);

    int scene = TimelineSceneAt(m.v);
    // From scene 4 on every scene opens with a white flash that fades over 1,275 ms; scenes 5
    // to 14 lay it over everything they draw (scene 4 under its scroll, 15 fades to black).
    if (scene >= 4 && Crossed(m, kScenes[scene].from))
        EnvelopeRestart(&timeline.layerEnvelope, now, 255.0f, 0.2f);
    kScenes[scene].draw(m);
    if (scene >= 5 && scene <= 14)
        FlashLayer(m, timeline.layerEnvelope);
    return m.v < kTimelineEnd;
}

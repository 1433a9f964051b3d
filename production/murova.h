// "Murova by Tarsel": the production's objects, shared by its set-up (setup.cpp), its timeline
// (timeline.cpp) and its scenes (scenes.cpp). Built on the main thread by DemoSetup, used by the
// frame thread between DemoSetup and DemoTeardown, released by DemoTeardown on the main thread.
#pragma once

#include <cstdint>

#include "effects/filters.h"
#include "effects/raycast.h"
#include "effects/scene.h"
#include "host/frame.h"
#include "host/pixels.h"

// Every picture of the archive, named by its file stem.
struct MurovaPictures {
    Bitmap start;
    Texture defaultTexture; // "default.jpg"
    Bitmap logo;            // "tarsel.jpg"
    Bitmap formule, code, music;
    Texture def2;
    Bitmap zooi;    // five 320 x 200 photos stacked
    Bitmap scratch; // eight 320 x 200 film-scratch frames stacked
    Texture hohoho;
    Bitmap refuse, chago, tekst3, tekst4, tekst5, sat;
    Texture water;
    Bitmap diurne3, diurne1, meid;
    Texture envmap, test, lens;
    Bitmap tekst, tekst2;
    Texture water2;
    Bitmap hebben; // four 320 x 200 pictures stacked
    Bitmap heers;
    Texture bot;
    Bitmap keers;
    Texture bol, bol2;
    Bitmap bert, frut, einde;
};

// What DemoSetup builds beside the pictures.
struct MurovaObjects {
    MurovaPictures pictures;
    Surface workSurface;  // W: layers are drawn here, then screened onto the frame
    Surface trailSurface; // T: the previous frame, for the motion trail
    Texture workTexture;  // bol cross-faded into bol2, rebuilt every frame of one scene
    Noise noise;
    Envelope frameEnvelope; // the film-scratch animation's frame and opacity
    Envelope flashEnvelope;
    Scene sphereScene; // one blob sphere
    Scene pairScene;   // two wave spheres
    Material materialA, materialB, materialC;
    Camera tunnelCamera, planesCamera, sphereCamera;
};

extern MurovaObjects murova;

// The timeline's state; frame thread only.
struct TimelineState {
    int32_t sceneStart;     // time at which the current scene began
    Envelope layerEnvelope; // radial blur pulses (scenes 1-3); flash and fade (scenes 4-15)
    Envelope introEnvelope; // the white flash of scenes 1-3
    int32_t lastNoiseStep;  // position / 4 at which scratches were last drawn
};

extern TimelineState timeline;

// Sets the timeline to its state before the first frame.
void TimelineReset();

// The frame and the moment a scene draws for, worked out once per frame by DemoFrame.
struct SceneMoment {
    FrameSurface* frame;   // F
    const FrameInfo* info; // the moment as the frame thread gave it
    uint16_t v;            // position: order << 8 | row
    int32_t row, order;
    int32_t now;    // milliseconds since the clock started
    int32_t lt;     // milliseconds since the current scene began
    int32_t margin; // pixels the content keeps from each side (8 at 320 wide, scale 0.95)
};

// True when position p was crossed between the previous frame and this one.
inline bool Crossed(const SceneMoment& m, uint16_t p)
{
    return FramePositionCrossed(*m.info, p);
}

// Truncates toward zero; NaN gives 0 and values beyond int32 saturate.
int32_t Trunc(long double x);
// time x k, k the float32 nearest the wanted fraction, in extended precision, truncated.
int32_t TimeScale(int32_t time, float k);

// The sixteen scenes, in the order of the song (order x 256 + row ranges in timeline.cpp).
void Scene0(const SceneMoment& m);
void Scene1(const SceneMoment& m);
void Scene2(const SceneMoment& m);
void Scene3(const SceneMoment& m);
void Scene4(const SceneMoment& m);
void Scene5(const SceneMoment& m);
void Scene6(const SceneMoment& m);
void Scene7(const SceneMoment& m);
void Scene8(const SceneMoment& m);
void Scene9(const SceneMoment& m);
void Scene10(const SceneMoment& m);
void Scene11(const SceneMoment& m);
void Scene12(const SceneMoment& m);
void Scene13(const SceneMoment& m);
void Scene14(const SceneMoment& m);
void Scene15(const SceneMoment& m);

// A white flash of the envelope's strength over the frame; nothing below 1.
void FlashLayer(const SceneMoment& m, const Envelope& envelope);

#pragma once
// The page's side of the web back-end: functions of library_zenkor.js, run on the browser
// thread (each call blocks its caller until the browser thread has run it).
#include <cstdint>

extern "C" {
// 1 when the page made an audio context at rate frames per second and loaded the worklet.
int zenkor_web_audio_ready(int rate);
// Starts the worklet playing ring (bytes long) from the shared memory; played and state are
// the device's counter and its state word (see audio.cpp).
void zenkor_web_audio_start(const void* ring, uint32_t bytes, void* played, void* state);
// Disconnects the worklet; it has already stopped reading the ring.
void zenkor_web_audio_stop();
// Shows an error on the page.
void zenkor_web_message(const char* caption, const char* text);
// The page's client size in CSS pixels.
void zenkor_web_client_size(int32_t* width, int32_t* height);
}

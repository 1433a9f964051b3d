#include "production/data/song.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

constexpr float kPi = 3.14159265f;
// Every sample is synthesised at the rate note C-4 plays it with relative note +24, so one
// 128-value cycle sounds as C-4 (261 Hz).
constexpr float kRate = 8363.0f * 4;
constexpr int kCycle = 128;

enum Instrument { Kick = 1, Snare, Hat, Crash, Bass, Pad, Lead, Pluck, Stab, Wind };
enum Channel {
    ChKick,
    ChSnare,
    ChHat,
    ChCrash,
    ChBass,
    ChPad1,
    ChPad2,
    ChPad3,
    ChLead,
    ChPluck,
    ChStab,
    ChWind,
    ChEcho,
    ChCount
};

// ---- synthesis ----

struct Noise {
    uint32_t s = 0x9E3779B9u;
    float Next()
    {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        return float(s & 0xFFFF) / 32768.0f - 1.0f;
    }
};

std::vector<int16_t> Pcm(const std::vector<float>& v, float peak)
{
    float m = 1e-6f;
    for (float x : v)
        m = std::max(m, std::fabs(x));
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); i++)
        out[i] = int16_t(std::lround(v[i] / m * peak * 32767.0f));
    return out;
}

// One period of `cycles` cycles over n values, band-limited: harmonic k has amplitude amp(k).
template <typename A>
std::vector<float> Additive(int n, int cycles, int harmonics, A amp)
{
    std::vector<float> v(size_t(n), 0.0f);
    for (int k = 1; k <= harmonics; k++) {
        float a = amp(k);
        if (a == 0)
            continue;
        for (int i = 0; i < n; i++)
            v[size_t(i)] += a * std::sin(2 * kPi * float(k * cycles) * float(i) / float(n));
    }
    return v;
}

XmInstrument Looped(const char* name, std::vector<float> wave, float peak)
{
    XmInstrument ins;
    ins.name = name;
    ins.sample.name = name;
    ins.sample.data = Pcm(wave, peak);
    ins.sample.loopStart = 0;
    ins.sample.loopLength = uint32_t(ins.sample.data.size());
    ins.sample.relativeNote = 24;
    return ins;
}

// The player stops a one-shot at its last value: a sample that ends away from zero clicks.
// Its last 6 ms (at the rate C-4 plays it) fade to silence, steepest at the start of the fade
// so that the final values are all but zero.
void FadeTail(std::vector<float>& v)
{
    const size_t n = std::min(v.size(), size_t(kRate * 0.006f));
    for (size_t k = 0; k < n; k++) {
        float g = float(k) / float(n);
        v[v.size() - 1 - k] *= g * g;
    }
}

XmInstrument OneShot(const char* name, std::vector<float> wave, float peak)
{
    XmInstrument ins;
    ins.name = name;
    ins.sample.name = name;
    FadeTail(wave);
    ins.sample.data = Pcm(wave, peak);
    ins.sample.relativeNote = 24;
    return ins;
}

XmInstrument MakeKick()
{
    std::vector<float> v(size_t(kRate * 0.32f));
    float phase = 0;
    Noise n;
    for (size_t i = 0; i < v.size(); i++) {
        float t = float(i) / kRate;
        phase += 2 * kPi * (44 + 120 * std::exp(-t * 28)) / kRate;
        float click = t < 0.003f ? n.Next() * (1 - t / 0.003f) * 0.4f : 0;
        v[i] = std::tanh(1.6f * std::sin(phase) * std::exp(-t * 7.5f)) + click;
    }
    return OneShot("kick", v, 0.95f);
}

XmInstrument MakeSnare()
{
    std::vector<float> v(size_t(kRate * 0.24f));
    Noise n;
    float previous = 0, phase = 0;
    for (size_t i = 0; i < v.size(); i++) {
        float t = float(i) / kRate;
        float x = n.Next(), hp = x - previous * 0.6f;
        previous = x;
        phase += 2 * kPi * (185 + 60 * std::exp(-t * 40)) / kRate;
        v[i] = hp * std::exp(-t * 16) * 0.8f + std::sin(phase) * std::exp(-t * 28) * 0.6f;
    }
    return OneShot("snare", v, 0.9f);
}

XmInstrument MakeHat()
{
    std::vector<float> v(size_t(kRate * 0.08f));
    Noise n;
    float p1 = 0, p2 = 0;
    for (size_t i = 0; i < v.size(); i++) {
        float t = float(i) / kRate, x = n.Next();
        float hp = x - 2 * p1 + p2;
        p2 = p1, p1 = x;
        v[i] = hp * std::exp(-t * 55);
    }
    return OneShot("hat", v, 0.8f);
}

XmInstrument MakeCrash()
{
    std::vector<float> v(size_t(kRate * 1.1f));
    Noise n;
    float p1 = 0;
    static const float partials[] = {410, 587, 731, 1003, 1367, 1721};
    for (size_t i = 0; i < v.size(); i++) {
        float t = float(i) / kRate, x = n.Next();
        float hp = x - p1;
        p1 = x;
        float metal = 0;
        for (float f : partials)
            metal += std::sin(2 * kPi * f * t) > 0 ? 0.08f : -0.08f;
        v[i] = (hp * 0.8f + metal) * std::exp(-t * 3.2f) * std::min(1.0f, t * 400);
    }
    return OneShot("crash", v, 0.8f);
}

XmInstrument MakeBass()
{
    std::vector<float> w = Additive(kCycle, 1, 12, [](int k) { return 1.0f / std::pow(float(k), 1.4f); });
    for (int i = 0; i < kCycle; i++)
        w[size_t(i)] += 0.6f * std::sin(2 * kPi * float(i) / kCycle);
    XmInstrument ins = Looped("bass", w, 0.85f);
    ins.volume.points = {{0, 64}, {4, 54}, {18, 42}};
    ins.volume.sustain = 2;
    ins.fadeout = 1400;
    return ins;
}

XmInstrument MakePad()
{
    const int n = kCycle * 64;
    std::vector<float> w(size_t(n), 0.0f);
    for (int cycles : {64, 63, 65, 32}) {
        std::vector<float> saw =
            Additive(n, cycles, 10, [](int k) { return 1.0f / std::pow(float(k), 1.2f); });
        for (int i = 0; i < n; i++)
            w[size_t(i)] += saw[size_t(i)] * (cycles == 32 ? 0.6f : 1.0f);
    }
    XmInstrument ins = Looped("pad", w, 0.7f);
    ins.volume.points = {{0, 0}, {36, 58}, {90, 46}};
    ins.volume.sustain = 2;
    ins.fadeout = 260;
    return ins;
}

XmInstrument MakeLead()
{
    const float duty = 0.32f;
    std::vector<float> w = Additive(kCycle, 1, 16, [&](int k) {
        return (2.0f / (float(k) * kPi)) * std::sin(kPi * float(k) * duty) * (1.0f / (1 + 0.08f * float(k)));
    });
    std::vector<float> saw = Additive(kCycle, 1, 16, [](int k) { return 0.35f / float(k); });
    for (int i = 0; i < kCycle; i++)
        w[size_t(i)] += saw[size_t(i)];
    XmInstrument ins = Looped("lead", w, 0.8f);
    ins.volume.points = {{0, 0}, {2, 64}, {12, 50}, {120, 40}};
    ins.volume.sustain = 3;
    ins.fadeout = 900;
    ins.vibratoType = 0;
    ins.vibratoSweep = 48;
    ins.vibratoDepth = 6;
    ins.vibratoRate = 10;
    return ins;
}

XmInstrument MakePluck()
{
    std::vector<float> w = Additive(kCycle, 1, 14, [](int k) {
        return (k % 2 ? 1.0f / float(k * k) : 0.0f) + (k == 2 ? 0.35f : 0.0f) + (k == 3 ? 0.15f : 0.0f);
    });
    XmInstrument ins = Looped("pluck", w, 0.8f);
    ins.volume.points = {{0, 64}, {5, 38}, {24, 12}, {60, 0}};
    ins.fadeout = 2000;
    return ins;
}

XmInstrument MakeStab()
{
    std::vector<float> w =
        Additive(kCycle, 1, 14, [](int k) { return (1.0f / float(k)) * (k % 2 ? 1.0f : 0.55f); });
    XmInstrument ins = Looped("stab", w, 0.8f);
    ins.volume.points = {{0, 64}, {6, 44}, {30, 16}, {70, 0}};
    ins.fadeout = 1500;
    ins.vibratoType = 0;
    ins.vibratoSweep = 0;
    ins.vibratoDepth = 2;
    ins.vibratoRate = 16;
    return ins;
}

XmInstrument MakeWind()
{
    const int n = 16384;
    std::vector<float> v(static_cast<size_t>(n));
    Noise noise;
    float lp = 0;
    for (int i = 0; i < n; i++) {
        lp += (noise.Next() - lp) * 0.08f;
        v[size_t(i)] = lp;
    }
    // Cross-fade the loop's end into its start so the loop has no click.
    for (int i = 0; i < 1024; i++) {
        float t = float(i) / 1024.0f;
        v[size_t(n - 1024 + i)] = v[size_t(n - 1024 + i)] * (1 - t) + v[size_t(i)] * t;
    }
    XmInstrument ins = Looped("wind", v, 0.8f);
    ins.volume.points = {{0, 0}, {60, 64}, {100, 56}};
    ins.volume.sustain = 2;
    ins.fadeout = 300;
    return ins;
}

// ---- notation ----

// Pitch class: C = 0 ... B = 11; XM note number of pitch class pc in an octave (C-0 = 1).
int NoteOf(int pc, int octave) { return octave * 12 + pc + 1; }

struct Chord {
    int root; // pitch class
    bool major;
    int Third() const { return root + (major ? 4 : 3); }
    int Fifth() const { return root + 7; }
};

constexpr Chord Am{9, false}, F{5, true}, C{0, true}, G{7, true}, Dm{2, false}, Em{4, false}, E{4, true};

struct Progression {
    Chord bars[4];
};

const Progression kProgA{{Am, F, C, G}};
const Progression kProgB{{F, G, Em, Am}};
const Progression kProgC{{Dm, Am, F, E}};
const Progression kProgD{{Am, G, F, E}};

// Melodies: 8 slots of an eighth (4 rows) per bar; "-" holds, "." releases, "~X" glides to X.
struct Melody {
    const char* bars[4];
};
const Melody kMelodyA1{
    {"A4 - C5 - E5 - D5 C5", "D5 - C5 - A4 - - G4", "G4 - C5 - E5 - G5 -", "F5 E5 D5 - B4 - - -"}};
const Melody kMelodyA2{
    {"A4 - C5 - E5 - A5 -", "G5 - F5 - E5 - C5 -", "D5 - E5 - G5 - E5 D5", "E5 - - - D5 - B4 -"}};
const Melody kMelodyB1{
    {"C5 - - A4 - - C5 D5", "D5 - - B4 - - D5 E5", "E5 - G5 - E5 - D5 B4", "C5 - - - A4 - . ."}};
const Melody kMelodyB2{
    {"F5 - - E5 - - C5 -", "D5 - - G5 - - F5 E5", "E5 - G5 - B5 - G5 E5", "A5 - - - - - . ."}};
const Melody kMelodyC{
    {"F5 - - - ~E5 - D5 -", "E5 - - - - - C5 -", "A4 - - - C5 - ~F5 -", "E5 - - - - - - -"}};

int ParseNote(const std::string& t)
{
    static const int pcs[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    size_t i = 0;
    int pc = pcs[t[i++] - 'A'];
    if (t[i] == '#')
        pc++, i++;
    return NoteOf(pc, t[i] - '0');
}

// ---- pattern building ----

struct Builder {
    XmPattern p;
    explicit Builder(int rows)
    {
        p.rows = rows;
        p.cells.assign(size_t(rows) * ChCount, XmCell{});
    }
    XmCell& At(int row, int ch) { return p.cells[size_t(row) * ChCount + size_t(ch)]; }
    void Note(int row, int ch, int note, int instrument, int volume)
    {
        if (row < 0 || row >= p.rows)
            return;
        XmCell& c = At(row, ch);
        c.note = uint8_t(note);
        c.instrument = uint8_t(instrument);
        c.volume = uint8_t(0x10 + std::clamp(volume, 0, 64));
    }
    void Off(int row, int ch)
    {
        if (row >= 0 && row < p.rows)
            At(row, ch).note = 97;
    }
    void Effect(int row, int ch, int effect, int param)
    {
        if (row < 0 || row >= p.rows)
            return;
        At(row, ch).effect = uint8_t(effect);
        At(row, ch).param = uint8_t(param);
    }
};

enum class KickStyle { None, Quarters, Halves, Downbeat };
enum class SnareStyle { None, Backbeat, HalfTime };
enum class HatStyle { None, Eighths, Sixteenths };
enum class BassStyle { None, Long, Halves, Eighths, Offbeat };
enum class Arp { None, Pluck, Stab };

struct Section {
    Progression prog = kProgA;
    int transpose = 0;
    KickStyle kick = KickStyle::None;
    SnareStyle snare = SnareStyle::None;
    HatStyle hats = HatStyle::None;
    BassStyle bass = BassStyle::None;
    bool pads = true;
    int padVolume = 22;
    Arp arp = Arp::None;
    const Melody* melody = nullptr;
    bool harmony = false;
    bool fill = false;  // snare fill in the last bar
    bool riser = false; // wind rising over the second half
    bool crashAtStart = false;
};

Chord Shift(Chord c, int semis) { return {(c.root + semis + 12) % 12, c.major}; }

void Drums(Builder& b, const Section& s)
{
    for (int bar = 0; bar < 4; bar++) {
        int r0 = bar * 32;
        bool fillBar = s.fill && bar == 3;
        for (int beat = 0; beat < 4; beat++) {
            int r = r0 + beat * 8;
            bool kick = s.kick == KickStyle::Quarters || (s.kick == KickStyle::Halves && beat % 2 == 0) ||
                        (s.kick == KickStyle::Downbeat && beat == 0);
            if (kick)
                b.Note(r, ChKick, NoteOf(0, 4), Kick, 62);
            if (s.snare == SnareStyle::Backbeat && beat % 2 == 1 && !fillBar)
                b.Note(r, ChSnare, NoteOf(0, 4), Snare, 50);
            if (s.snare == SnareStyle::HalfTime && beat == 2 && !fillBar)
                b.Note(r, ChSnare, NoteOf(0, 4), Snare, 52);
        }
        if (s.kick == KickStyle::Quarters && bar % 2 == 1)
            b.Note(r0 + 30, ChKick, NoteOf(0, 4), Kick, 40);
        for (int r = r0; r < r0 + 32; r++) {
            bool eighth = (r % 4) == 0, sixteenth = (r % 2) == 0;
            if (s.hats == HatStyle::Eighths && eighth)
                b.Note(r, ChHat, NoteOf(0, 5), Hat, (r % 8) == 4 ? 30 : 18);
            // The off-beat hat an octave down rings twice as long: an open hat between closed ones.
            if (s.hats == HatStyle::Sixteenths && sixteenth)
                b.Note(r, ChHat, NoteOf(0, (r % 8) == 4 ? 4 : 5), Hat, (r % 8) == 4 ? 30 : (r % 4) ? 14 : 22);
        }
        if (fillBar)
            for (int r = r0; r < r0 + 32; r += (r < r0 + 16 ? 4 : 2))
                b.Note(r, ChSnare, NoteOf(0, 4), Snare, 24 + (r - r0));
    }
    if (s.crashAtStart)
        b.Note(0, ChCrash, NoteOf(0, 4), Crash, 40);
}

void BassLine(Builder& b, const Section& s)
{
    for (int bar = 0; bar < 4; bar++) {
        Chord c = Shift(s.prog.bars[bar], s.transpose);
        int low = NoteOf(c.root, 2), r0 = bar * 32;
        switch (s.bass) {
        case BassStyle::None:
            break;
        case BassStyle::Long:
            b.Note(r0, ChBass, low, Bass, 44);
            b.Off(r0 + 28, ChBass);
            break;
        case BassStyle::Halves:
            b.Note(r0, ChBass, low, Bass, 46);
            b.Note(r0 + 16, ChBass, low + (bar % 2 ? 7 : 0), Bass, 40);
            break;
        case BassStyle::Eighths:
            for (int k = 0; k < 8; k++) {
                int note = (k == 3 || k == 7) ? low + 12 : low;
                b.Note(r0 + k * 4, ChBass, note, Bass, k % 2 ? 34 : 46);
                b.Off(r0 + k * 4 + 3, ChBass);
            }
            break;
        case BassStyle::Offbeat: {
            static const int rows[] = {0, 6, 10, 12, 16, 22, 26, 28};
            for (int k = 0; k < 8; k++) {
                int note = (k == 3 || k == 7) ? low + 12 : (k == 5 ? low + 7 : low);
                b.Note(r0 + rows[k], ChBass, note, Bass, k % 2 ? 36 : 46);
            }
            b.Off(r0 + 31, ChBass);
            break;
        }
        }
    }
}

void Pads(Builder& b, const Section& s)
{
    int held[3] = {0, 0, 0};
    for (int bar = 0; bar < 4; bar++) {
        Chord c = Shift(s.prog.bars[bar], s.transpose);
        int notes[3] = {c.root, c.Third(), c.Fifth()};
        // Close voicing around A3..E4: lift the lowest tones into place.
        for (int& n : notes)
            if (n < 7)
                n += 12;
        std::sort(notes, notes + 3);
        // A tone the next chord shares keeps sounding instead of breathing in again.
        for (int k = 0; k < 3; k++) {
            int note = NoteOf(notes[k] % 12, 3 + notes[k] / 12);
            if (note != held[k])
                b.Note(bar * 32, ChPad1 + k, note, Pad, s.padVolume);
            held[k] = note;
        }
    }
}

void Arpeggio(Builder& b, const Section& s)
{
    for (int bar = 0; bar < 4; bar++) {
        Chord c = Shift(s.prog.bars[bar], s.transpose);
        int r0 = bar * 32;
        if (s.arp == Arp::Pluck) {
            int tones[6] = {c.root, c.Third(), c.Fifth(), c.root + 12, c.Fifth(), c.Third()};
            for (int k = 0; k < 16; k++) {
                int t = tones[k % 6];
                b.Note(r0 + k * 2, ChPluck, NoteOf(t % 12, 4 + t / 12), Pluck, k % 4 == 0 ? 30 : 20);
            }
        } else if (s.arp == Arp::Stab) {
            // One note per beat, the chord spelt by the arpeggio effect.
            for (int beat = 0; beat < 4; beat++) {
                int r = r0 + beat * 8 + 4;
                b.Note(r, ChStab, NoteOf(c.root, 4), Stab, 26);
                b.Effect(r, ChStab, 0x0, c.major ? 0x47 : 0x37);
                for (int k = 1; k < 4; k++)
                    b.Effect(r + k, ChStab, 0x0, c.major ? 0x47 : 0x37);
            }
        }
    }
}

void Melodise(Builder& b, const Melody& m, int transpose, int channel, int instrument, int volume,
              int octaveShift, int delay = 0)
{
    for (int bar = 0; bar < 4; bar++) {
        std::istringstream in(m.bars[bar]);
        std::string token;
        int slot = 0, held = 0, startRow = -1;
        while (in >> token && slot < 8) {
            int row = bar * 32 + slot * 4 + delay;
            if (token == "-") {
                held++;
                // A note held past a beat starts to sing: vibrato from its second beat on.
                if (held >= 2 && startRow >= 0 && channel == ChLead)
                    for (int r = row; r < row + 4; r++)
                        b.Effect(r, channel, 0x4, 0x46);
            } else if (token == ".") {
                b.Off(row, channel);
                held = 0;
                startRow = -1;
            } else {
                bool glide = token[0] == '~';
                int note = ParseNote(glide ? token.substr(1) : token) + transpose + 12 * octaveShift;
                if (glide && channel == ChLead) {
                    XmCell& c = b.At(row, channel);
                    c.note = uint8_t(note);
                    c.volume = 0;
                    b.Effect(row, channel, 0x3, 0x18);
                    for (int r = row + 1; r < row + 4; r++)
                        b.Effect(r, channel, 0x3, 0x00);
                } else {
                    b.Note(row, channel, note, instrument, volume);
                }
                held = 0;
                startRow = row;
            }
            slot++;
        }
    }
}

void Accent(Builder& b, int row, Chord c, bool crash)
{
    b.Note(row, ChStab, NoteOf(c.root, 4), Stab, 44);
    for (int k = 0; k < 6; k++)
        b.Effect(row + k, ChStab, 0x0, c.major ? 0x47 : 0x37);
    b.Note(row, ChKick, NoteOf(0, 4), Kick, 64);
    if (crash)
        b.Note(row, ChCrash, NoteOf(0, 4), Crash, 44);
}

void Riser(Builder& b)
{
    b.Note(64, ChWind, NoteOf(0, 3), Wind, 10);
    for (int r = 65; r < 128; r++) {
        b.Effect(r, ChWind, 0x1, 0x02); // portamento up: the wind rises
        if (r % 4 == 0)
            b.At(r, ChWind).volume = uint8_t(0x71); // volume slide up in the column
    }
    b.Off(127, ChWind);
}

Section SectionOf(int order)
{
    Section s;
    if (order <= 2) { // intro: pads breathe in, the wind, later plucks and a bass
        s.padVolume = 14 + order * 5;
        s.arp = order >= 1 ? Arp::Pluck : Arp::None;
        s.hats = order == 2 ? HatStyle::Eighths : HatStyle::None;
        s.bass = order == 2 ? BassStyle::Long : BassStyle::None;
        s.riser = order == 2;
        s.fill = order == 2;
    } else if (order <= 5) { // logo and credits: the beat arrives
        s.kick = KickStyle::Quarters;
        s.snare = order >= 4 ? SnareStyle::Backbeat : SnareStyle::None;
        s.hats = HatStyle::Eighths;
        s.bass = BassStyle::Eighths;
        s.arp = order == 5 ? Arp::Pluck : Arp::None;
        s.crashAtStart = true;
    } else if (order == 6) { // the photos: a build
        s.prog = kProgD;
        s.kick = KickStyle::Halves;
        s.hats = HatStyle::Sixteenths;
        s.bass = BassStyle::Halves;
        s.fill = true;
        s.riser = true;
        s.crashAtStart = true;
    } else if (order <= 10) { // tunnel: groove A
        s.kick = KickStyle::Quarters;
        s.snare = SnareStyle::Backbeat;
        s.hats = HatStyle::Sixteenths;
        s.bass = BassStyle::Eighths;
        s.arp = order <= 8 ? Arp::Pluck : Arp::None;
        s.melody = order == 9 ? &kMelodyA1 : order == 10 ? &kMelodyA2 : nullptr;
        s.crashAtStart = order == 7 || order == 9;
        s.fill = order == 10;
    } else if (order <= 14) { // second tunnel: groove B, chords spelt by the stab
        s.prog = kProgB;
        s.kick = KickStyle::Quarters;
        s.snare = SnareStyle::Backbeat;
        s.hats = HatStyle::Sixteenths;
        s.bass = BassStyle::Offbeat;
        s.arp = Arp::Stab;
        s.melody = (order % 2) ? &kMelodyB1 : &kMelodyB2;
        s.crashAtStart = order == 11 || order == 13;
        s.fill = order == 14;
    } else if (order <= 16) { // water: the break
        s.prog = kProgC;
        s.bass = BassStyle::Long;
        s.padVolume = 26;
        s.melody = &kMelodyC;
        s.hats = order == 16 ? HatStyle::Eighths : HatStyle::None;
    } else if (order <= 18) { // blob sphere: the build back
        s.prog = kProgC;
        s.kick = order == 17 ? KickStyle::Halves : KickStyle::Quarters;
        s.hats = HatStyle::Eighths;
        s.bass = BassStyle::Halves;
        s.arp = Arp::Pluck;
        s.fill = order == 18;
        s.riser = order == 18;
    } else if (order <= 22) { // planes: the main theme
        s.kick = KickStyle::Quarters;
        s.snare = SnareStyle::Backbeat;
        s.hats = HatStyle::Sixteenths;
        s.bass = BassStyle::Offbeat;
        s.melody = (order % 2) ? &kMelodyA1 : &kMelodyA2;
        s.harmony = true;
        s.arp = order >= 21 ? Arp::Stab : Arp::None;
        s.crashAtStart = order == 19 || order == 21;
        s.fill = order == 22;
    } else if (order <= 24) { // the four pictures: stabs on each one
        s.prog = kProgD;
        s.kick = KickStyle::Downbeat;
        s.snare = SnareStyle::HalfTime;
        s.hats = HatStyle::Eighths;
        s.bass = BassStyle::Long;
        s.pads = false;
    } else if (order <= 32) { // planes into the tunnel, the film hits
        s.prog = order <= 28 ? kProgB : kProgA;
        s.kick = KickStyle::Quarters;
        s.snare = SnareStyle::Backbeat;
        s.hats = HatStyle::Sixteenths;
        s.bass = order <= 28 ? BassStyle::Offbeat : BassStyle::Eighths;
        s.melody = order <= 26 ? nullptr : (order % 2 ? &kMelodyB1 : &kMelodyB2);
        if (order >= 29)
            s.melody = (order % 2) ? &kMelodyA1 : &kMelodyA2;
        s.arp = order <= 26 ? Arp::Pluck : Arp::Stab;
        s.crashAtStart = order == 25 || order == 29;
    } else if (order <= 36) { // inside the sphere: calm
        s.prog = kProgC;
        s.kick = KickStyle::Downbeat;
        s.bass = BassStyle::Long;
        s.arp = Arp::Pluck;
        s.padVolume = 24;
        s.melody = order >= 35 ? &kMelodyC : nullptr;
        s.hats = order == 36 ? HatStyle::Eighths : HatStyle::None;
        s.fill = order == 36;
        s.riser = order == 36;
    } else if (order <= 40) { // the two spheres: the finale, a tone higher
        s.prog = order <= 38 ? kProgA : kProgB;
        s.transpose = 2;
        s.kick = KickStyle::Quarters;
        s.snare = SnareStyle::Backbeat;
        s.hats = HatStyle::Sixteenths;
        s.bass = BassStyle::Offbeat;
        s.melody =
            order <= 38 ? (order == 37 ? &kMelodyA1 : &kMelodyA2) : (order == 39 ? &kMelodyB1 : &kMelodyB2);
        s.harmony = true;
        s.arp = Arp::Stab;
        s.crashAtStart = order == 37 || order == 39;
        s.fill = order == 40;
    } else { // the end picture
        s.prog = kProgA;
        s.kick = KickStyle::Halves;
        s.hats = HatStyle::Eighths;
        s.bass = BassStyle::Halves;
        s.arp = Arp::Pluck;
        s.crashAtStart = true;
    }
    return s;
}

// Rows of the film-scratch hits per order (orders 28 to 32).
std::vector<int> HitRows(int order)
{
    switch (order) {
    case 28:
        return {88, 92, 96, 104, 112, 120};
    case 29:
        return {40, 44, 48, 52, 56, 60};
    case 30:
        return {40, 48, 52, 56, 60, 88, 92, 96, 112, 116, 120};
    case 31:
        return {40, 48, 52, 56, 60};
    case 32:
        return {40, 48, 52, 56, 60, 88, 92, 96, 112, 116, 120};
    default:
        return {};
    }
}

XmPattern ComposeOrder(int order)
{
    Section s = SectionOf(order);
    Builder b(kSongRows);
    Drums(b, s);
    BassLine(b, s);
    if (s.pads)
        Pads(b, s);
    Arpeggio(b, s);
    if (s.melody)
        Melodise(b, *s.melody, s.transpose, ChLead, Lead, 40, 0);
    // A quiet copy of the lead three rows late: the tracker's echo.
    if (s.melody)
        Melodise(b, *s.melody, s.transpose, ChEcho, Lead, 13, 0, 3);
    for (int r = 0; r < kSongRows; r++) // and from the right
        if (b.At(r, ChEcho).note && b.At(r, ChEcho).note != 97)
            b.Effect(r, ChEcho, 0x8, 0xD0);
    if (s.melody && s.harmony)
        Melodise(b, *s.melody, s.transpose, ChPluck, Pluck, 24, -1);
    if (s.riser)
        Riser(b);
    if (order <= 1) { // the wind carries the fade-in
        b.Note(0, ChWind, NoteOf(9, 3), Wind, 12 + order * 6);
        for (int r = 0; r < kSongRows; r += 16)
            b.Effect(r, ChWind, 0xA, 0x10);
    }
    auto chordAt = [&](int row) { return Shift(s.prog.bars[row / 32], s.transpose); };
    if (order >= 3 && order <= 5) { // the logo's and the credits' blur pulses
        Accent(b, 0x68, chordAt(0x68), true);
        Accent(b, 0x76, chordAt(0x76), false);
    }
    if (order == 6) // each photo of the build lands on a stab
        for (int row : {0x20, 0x2C, 0x3C, 0x46, 0x58})
            Accent(b, row, chordAt(row), row == 0x20 || row == 0x58);
    if (order == 23 || order == 24) // each of the four pictures
        for (int row : {0x00, 0x20, 0x40, 0x60}) {
            Accent(b, row, chordAt(row), true);
            b.Note(row, ChBass, NoteOf(chordAt(row).root, 2), Bass, 56);
        }
    std::vector<int> hits = HitRows(order);
    for (size_t i = 0; i < hits.size(); i++) {
        bool first = i == 0 || hits[i] - hits[i - 1] > 8;
        b.Note(hits[i], ChSnare, NoteOf(0, 4), Snare, first ? 60 : 46);
        if (first)
            Accent(b, hits[i], chordAt(hits[i]), true);
    }
    if (order == 41) { // the close: one last chord at row 120 that rings into the end mark
        for (int r = 112; r < 120; r++)
            b.At(r, ChKick) = XmCell{}, b.At(r, ChHat) = XmCell{};
        for (int r = 112; r < 120; r += 2)
            b.Note(r, ChSnare, NoteOf(0, 4), Snare, 30 + (r - 112) * 3);
        Accent(b, 120, Am, true);
        b.Note(120, ChBass, NoteOf(9, 2), Bass, 58);
        int tones[3] = {9, 12, 16};
        for (int k = 0; k < 3; k++)
            b.Note(120, ChPad1 + k, NoteOf(tones[k] % 12, 3 + tones[k] / 12), Pad, 34);
        b.Note(120, ChLead, NoteOf(9, 5), Lead, 36);
        b.Effect(121, ChLead, 0x4, 0x46);
    }
    return b.p;
}

// The tail after the close: the chord fades, everything is released before the end mark.
XmPattern ComposeTail()
{
    Builder b(64);
    for (int r = 0; r < 24; r++)
        for (int ch : {ChPad1, ChPad2, ChPad3, ChLead, ChBass})
            b.Effect(r, ch, 0xA, 0x01);
    for (int ch = 0; ch < ChCount; ch++)
        b.Off(24, ch);
    b.Effect(63, ChKick, 0xD, 0x00);
    return b.p;
}

} // namespace

XmSong SongCompose()
{
    XmSong song;
    song.name = "murova";
    song.channels = ChCount;
    song.tempo = kSongTempo;
    song.bpm = kSongBpm;
    song.instruments = {MakeKick(), MakeSnare(), MakeHat(),   MakeCrash(), MakeBass(),
                        MakePad(),  MakeLead(),  MakePluck(), MakeStab(),  MakeWind()};
    song.instruments[Crash - 1].sample.pan = 150;
    song.instruments[Hat - 1].sample.pan = 100;
    for (int order = 0; order <= kSongEndOrder; order++) {
        XmPattern p = order < kSongEndOrder ? ComposeOrder(order) : ComposeTail();
        size_t index = song.patterns.size();
        for (size_t i = 0; i < song.patterns.size(); i++) {
            const XmPattern& q = song.patterns[i];
            bool same = q.rows == p.rows && std::equal(q.cells.begin(), q.cells.end(), p.cells.begin(),
                                                       [](const XmCell& a, const XmCell& c) {
                                                           return a.note == c.note &&
                                                                  a.instrument == c.instrument &&
                                                                  a.volume == c.volume &&
                                                                  a.effect == c.effect && a.param == c.param;
                                                       });
            if (same)
                index = i;
        }
        if (index == song.patterns.size())
            song.patterns.push_back(p);
        song.orders.push_back(uint8_t(index));
    }
    return song;
}

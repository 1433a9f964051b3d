// Builds small XM modules in memory for tests, benchmarks and fuzz seeds.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0;           // 1-96, 97 key off
    uint8_t instrument = 0;     // 1-128
    uint8_t volume = 0;         // volume column
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

struct XmPattern {
    int rows = 64;
    std::vector<XmCell> cells;  // rows x channels, empty: a pattern stored with packed size 0
    XmCell& At(int row, int channel, int channels)
    {
        if (cells.empty())
            cells.resize(size_t(rows) * size_t(channels));
        return cells[size_t(row) * size_t(channels) + size_t(channel)];
    }
};

struct XmSample {
    std::vector<int16_t> values;  // the decoded values (8-bit samples keep the high byte)
    bool sixteenBit = true;
    uint8_t loopType = 0;         // 0 none, 1 forward, 2 ping-pong
    uint32_t loopStart = 0;       // in values
    uint32_t loopLength = 0;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t pan = 128;
    int8_t relativeNote = 0;
};

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;
    uint8_t sustain = 0, loopStart = 0, loopEnd = 0;
    uint8_t type = 0;             // bit 0 on, bit 1 sustain, bit 2 loop
};

struct XmInstrument {
    std::vector<XmSample> samples;
    uint8_t keymap[96] = {};
    XmEnvelope volume, panning;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;         // as stored in the file (the loader doubles it)
};

struct XmModule {
    int channels = 4;
    std::vector<uint8_t> orders{0};
    int restart = 0;
    bool linear = true;
    int tempo = 6;
    int bpm = 125;
    std::vector<XmPattern> patterns{XmPattern{}};
    std::vector<XmInstrument> instruments;
    int songLengthOverride = -1;  // writes this song length instead of orders.size()
    int patternCountOverride = -1;
};

namespace xm_detail {
inline void PutText(std::vector<uint8_t>& out, const char* text, size_t length)
{
    for (size_t i = 0; i < length; i++)
        out.push_back(uint8_t(text[i]));
}
inline void Put(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back(uint8_t(value >> (8 * i)));
}
inline void PutEnvelope(std::vector<uint8_t>& out, const XmEnvelope& envelope)
{
    for (int i = 0; i < 12; i++) {
        uint16_t x = i < int(envelope.points.size()) ? envelope.points[i].first : 0;
        uint16_t y = i < int(envelope.points.size()) ? envelope.points[i].second : 0;
        Put(out, x, 2);
        Put(out, y, 2);
    }
}
}  // namespace xm_detail

// The module as an XM file image (patterns packed, sample data delta-encoded).
inline std::vector<uint8_t> XmBuild(const XmModule& m)
{
    using xm_detail::Put;
    std::vector<uint8_t> out;
    xm_detail::PutText(out, "Extended Module: ", 17);
    xm_detail::PutText(out, "test module\0\0\0\0\0\0\0\0\0", 20);
    out.push_back(0x1A);
    xm_detail::PutText(out, "builder\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);
    Put(out, 0x0104, 2);
    Put(out, 276, 4);
    Put(out, uint32_t(m.songLengthOverride >= 0 ? m.songLengthOverride : int(m.orders.size())), 2);
    Put(out, uint32_t(m.restart), 2);
    Put(out, uint32_t(m.channels), 2);
    Put(out, uint32_t(m.patternCountOverride >= 0 ? m.patternCountOverride : int(m.patterns.size())), 2);
    Put(out, uint32_t(m.instruments.size()), 2);
    Put(out, m.linear ? 1 : 0, 2);
    Put(out, uint32_t(m.tempo), 2);
    Put(out, uint32_t(m.bpm), 2);
    for (int i = 0; i < 256; i++)
        out.push_back(i < int(m.orders.size()) ? m.orders[i] : 0);
    for (const XmPattern& p : m.patterns) {
        std::vector<uint8_t> packed;
        if (!p.cells.empty()) {
            for (const XmCell& c : p.cells) {
                uint8_t bytes[5] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
                uint8_t mask = 0;
                for (int k = 0; k < 5; k++)
                    if (bytes[k])
                        mask |= uint8_t(1 << k);
                packed.push_back(uint8_t(0x80 | mask));
                for (int k = 0; k < 5; k++)
                    if (bytes[k])
                        packed.push_back(bytes[k]);
            }
        }
        Put(out, 9, 4);
        out.push_back(0);
        Put(out, uint32_t(p.rows), 2);
        Put(out, uint32_t(packed.size()), 2);
        out.insert(out.end(), packed.begin(), packed.end());
    }
    for (const XmInstrument& ins : m.instruments) {
        size_t p0 = out.size();
        Put(out, ins.samples.empty() ? 29 : 263, 4);
        for (int i = 0; i < 22; i++)
            out.push_back(0);
        out.push_back(0);
        Put(out, uint32_t(ins.samples.size()), 2);
        if (!ins.samples.empty()) {
            Put(out, 40, 4);
            out.insert(out.end(), ins.keymap, ins.keymap + 96);
            xm_detail::PutEnvelope(out, ins.volume);
            xm_detail::PutEnvelope(out, ins.panning);
            out.push_back(uint8_t(ins.volume.points.size()));
            out.push_back(uint8_t(ins.panning.points.size()));
            out.push_back(ins.volume.sustain);
            out.push_back(ins.volume.loopStart);
            out.push_back(ins.volume.loopEnd);
            out.push_back(ins.panning.sustain);
            out.push_back(ins.panning.loopStart);
            out.push_back(ins.panning.loopEnd);
            out.push_back(ins.volume.type);
            out.push_back(ins.panning.type);
            out.push_back(ins.vibratoType);
            out.push_back(ins.vibratoSweep);
            out.push_back(ins.vibratoDepth);
            out.push_back(ins.vibratoRate);
            Put(out, ins.fadeout, 2);
            out.resize(p0 + 263, 0);
        }
        for (const XmSample& s : ins.samples) {
            int width = s.sixteenBit ? 2 : 1;
            Put(out, uint32_t(s.values.size() * width), 4);
            Put(out, s.loopStart * uint32_t(width), 4);
            Put(out, s.loopLength * uint32_t(width), 4);
            out.push_back(s.volume);
            out.push_back(uint8_t(s.finetune));
            out.push_back(uint8_t(s.loopType | (s.sixteenBit ? 0x10 : 0)));
            out.push_back(s.pan);
            out.push_back(uint8_t(s.relativeNote));
            out.push_back(0);
            for (int i = 0; i < 22; i++)
                out.push_back(0);
        }
        for (const XmSample& s : ins.samples) {
            int16_t previous = 0;
            for (int16_t v : s.values) {
                if (s.sixteenBit) {
                    Put(out, uint16_t(v - previous), 2);
                    previous = v;
                } else {
                    int8_t high = int8_t(v >> 8);
                    out.push_back(uint8_t(high - int8_t(previous)));
                    previous = high;
                }
            }
        }
    }
    return out;
}

// One instrument with one sample: a looping square-ish wave of the given period in values.
inline XmInstrument XmToneInstrument(int length = 64, uint8_t loopType = 1, bool sixteenBit = true)
{
    XmInstrument ins;
    XmSample s;
    s.sixteenBit = sixteenBit;
    for (int i = 0; i < length; i++)
        s.values.push_back(int16_t(i < length / 2 ? 8192 : -8192));
    s.loopType = loopType;
    s.loopLength = loopType ? uint32_t(length) : 0;
    ins.samples.push_back(s);
    return ins;
}

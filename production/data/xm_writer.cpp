#include "production/data/xm_writer.h"

#include <algorithm>
#include <cstring>

namespace {

struct Bytes {
    std::vector<uint8_t> v;
    void U8(int x) { v.push_back(uint8_t(x)); }
    void U16(int x) { U8(x & 255), U8((x >> 8) & 255); }
    void U32(uint32_t x) { U16(int(x & 0xFFFF)), U16(int(x >> 16)); }
    void Text(const std::string& s, size_t n)
    {
        for (size_t i = 0; i < n; i++)
            U8(i < s.size() ? s[i] : 0);
    }
};

void PackCell(Bytes& out, const XmCell& c)
{
    int mask = (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) | (c.effect ? 8 : 0) |
               (c.param ? 16 : 0);
    if (mask == 31) {
        out.U8(c.note), out.U8(c.instrument), out.U8(c.volume), out.U8(c.effect), out.U8(c.param);
        return;
    }
    out.U8(0x80 | mask);
    if (c.note)
        out.U8(c.note);
    if (c.instrument)
        out.U8(c.instrument);
    if (c.volume)
        out.U8(c.volume);
    if (c.effect)
        out.U8(c.effect);
    if (c.param)
        out.U8(c.param);
}

void WritePattern(Bytes& out, const XmPattern& p, int channels)
{
    Bytes packed;
    bool empty = std::all_of(p.cells.begin(), p.cells.end(), [](const XmCell& c) {
        return !c.note && !c.instrument && !c.volume && !c.effect && !c.param;
    });
    if (!empty)
        for (int i = 0; i < p.rows * channels; i++)
            PackCell(packed, p.cells[size_t(i)]);
    out.U32(9);
    out.U8(0);
    out.U16(p.rows);
    out.U16(int(packed.v.size()));
    out.v.insert(out.v.end(), packed.v.begin(), packed.v.end());
}

void WriteEnvelope(Bytes& out, const XmEnvelope& e)
{
    for (size_t i = 0; i < 12; i++) {
        auto pt = i < e.points.size() ? e.points[i] : std::pair<uint16_t, uint16_t>{0, 0};
        out.U16(pt.first), out.U16(pt.second);
    }
}

void WriteInstrument(Bytes& out, const XmInstrument& ins)
{
    const XmSample& s = ins.sample;
    out.U32(263);
    out.Text(ins.name, 22);
    out.U8(0);
    out.U16(1);
    out.U32(40);
    for (int i = 0; i < 96; i++)
        out.U8(0);
    WriteEnvelope(out, ins.volume);
    XmEnvelope centre;
    centre.points = {{0, 32}, {1, 32}};
    WriteEnvelope(out, centre);
    out.U8(int(ins.volume.points.size()));
    out.U8(2);
    out.U8(std::max(0, ins.volume.sustain));
    out.U8(std::max(0, ins.volume.loopStart));
    out.U8(std::max(0, ins.volume.loopEnd));
    out.U8(0), out.U8(0), out.U8(0);
    int type = ins.volume.points.size() >= 2 ? 1 : 0;
    if (ins.volume.sustain >= 0)
        type |= 2;
    if (ins.volume.loopStart >= 0)
        type |= 4;
    out.U8(type);
    out.U8(0);
    out.U8(ins.vibratoType), out.U8(ins.vibratoSweep), out.U8(ins.vibratoDepth), out.U8(ins.vibratoRate);
    out.U16(ins.fadeout);
    // 22 reserved bytes bring the header to the 263 bytes announced above.
    for (int i = 0; i < 22; i++)
        out.U8(0);

    uint32_t bytes = uint32_t(s.data.size()) * 2;
    out.U32(bytes);
    out.U32(s.loopLength ? s.loopStart * 2 : 0);
    out.U32(s.loopLength * 2);
    out.U8(s.volume);
    out.U8(uint8_t(s.finetune));
    out.U8(16 | (s.loopLength ? (s.pingPong ? 2 : 1) : 0));
    out.U8(s.pan);
    out.U8(uint8_t(s.relativeNote));
    out.U8(0);
    out.Text(s.name, 22);
    int16_t previous = 0;
    for (int16_t value : s.data) {
        out.U16(uint16_t(value - previous));
        previous = value;
    }
}

} // namespace

std::vector<uint8_t> XmWrite(const XmSong& song)
{
    Bytes out;
    out.Text("Extended Module: ", 17);
    out.Text(song.name, 20);
    out.U8(0x1A);
    out.Text("zenkor data", 20);
    out.U16(0x0104);
    out.U32(276);
    out.U16(int(song.orders.size()));
    out.U16(song.restart);
    out.U16(song.channels);
    out.U16(int(song.patterns.size()));
    out.U16(int(song.instruments.size()));
    out.U16(1);
    out.U16(song.tempo);
    out.U16(song.bpm);
    for (size_t i = 0; i < 256; i++)
        out.U8(i < song.orders.size() ? song.orders[i] : 0);
    for (const XmPattern& p : song.patterns)
        WritePattern(out, p, song.channels);
    for (const XmInstrument& ins : song.instruments)
        WriteInstrument(out, ins);
    return out.v;
}

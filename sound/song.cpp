// XM loader. State: the registered file callbacks (set and used on the loading thread, the
// main thread in the program) and the shared empty records (read-only after start-up).
#include "sound/song.h"

#include "sound/output.h"
#include "sound/player.h"

#include <cstdlib>
#include <cstring>

Sample g_emptySample;
Instrument g_emptyInstrument;

static ModuleFileOps g_fileOps;

bool ModuleFileOpsSet(const ModuleFileOps& ops)
{
    if (!ops.open || !ops.close || !ops.read || !ops.seek || !ops.tell) {
        g_fileOps = {};
        return false;
    }
    g_fileOps = ops;
    return true;
}

static void* MemoryOpen(void* source)
{
    MemoryFile* file = static_cast<MemoryFile*>(source);
    if (!file)
        return nullptr;
    file->position = 0;
    return file;
}

static void MemoryClose(void*) {}

static int MemoryRead(void* destination, int count, void* handle)
{
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    if (count <= 0 || file->position >= file->size)
        return 0;
    if (count > file->size - file->position)
        count = file->size - file->position;
    memcpy(destination, file->base + file->position, size_t(count));
    file->position += count;
    return count;
}

static void MemorySeek(void* handle, int64_t offset, int mode)
{
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    int64_t position = offset;
    if (mode == 1)
        position = int64_t(file->position) + offset;
    else if (mode == 2)
        position = int64_t(file->size) + offset;
    if (position < 0)
        position = 0;
    if (position > file->size)
        position = file->size;
    file->position = int(position);
}

static int64_t MemoryTell(void* handle)
{
    return static_cast<MemoryFile*>(handle)->position;
}

const ModuleFileOps& ModuleFileOpsMemory()
{
    static const ModuleFileOps ops{MemoryOpen, MemoryClose, MemoryRead, MemorySeek, MemoryTell};
    return ops;
}

void ModuleFileOpsUseMemory()
{
    ModuleFileOpsSet(ModuleFileOpsMemory());
}

// Bytes missing at the end of the file read as zeros.
static int ReadBytes(void* file, void* destination, int count)
{
    memset(destination, 0, size_t(count));
    return g_fileOps.read(destination, count, file);
}

static uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
static uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

static int64_t FileSize(void* file)
{
    int64_t here = g_fileOps.tell(file);
    g_fileOps.seek(file, 0, 2);
    int64_t size = g_fileOps.tell(file);
    g_fileOps.seek(file, here, 0);
    return size;
}

static bool ReadHeader(Song* song, void* file)
{
    uint8_t b[264];
    g_fileOps.seek(file, 60, 0);
    ReadBytes(file, b, 4);
    uint32_t headerSize = Le32(b);
    ReadBytes(file, b, 8);
    song->songLength = int16_t(Le16(b));
    song->restartPosition = int16_t(Le16(b + 2));
    song->channels = int16_t(Le16(b + 4));
    song->patternsInFile = Le16(b + 6);
    ReadBytes(file, b, 264);
    song->instrumentCount = int16_t(Le16(b));
    song->flags = Le16(b + 2);
    song->defaultTempo = int16_t(Le16(b + 4));
    song->defaultBpm = int16_t(Le16(b + 6));
    memcpy(song->orders, b + 8, SONG_MAX_ORDERS);
    g_fileOps.seek(file, 60 + int64_t(headerSize), 0);

    // What the playback records cannot hold: no channels or more than 32, an empty order
    // list are refused; longer order lists and wild restart positions are clamped.
    if (song->channels < 1 || song->channels > SONG_MAX_CHANNELS || song->songLength < 1)
        return false;
    if (song->songLength > SONG_MAX_ORDERS)
        song->songLength = SONG_MAX_ORDERS;
    if (song->restartPosition < 0 || song->restartPosition >= song->songLength)
        song->restartPosition = 0;
    if (song->instrumentCount < 0)
        song->instrumentCount = 0;
    return true;
}

static void StoreCell(uint8_t* cell)
{
    if (cell[0] == 97)
        cell[0] = NOTE_KEY_OFF;
    else if (cell[0] > 97)
        cell[0] = 0;  // outside the keyboard: no note, so it can never index a keymap
    if (cell[1] > 128)
        cell[1] = 0;
}

static void UnpackCells(void* file, uint8_t* cells, int count)
{
    for (int i = 0; i < count; i++) {
        uint8_t* cell = cells + i * CELL_BYTES;
        uint8_t b = 0;
        ReadBytes(file, &b, 1);
        if (b & 0x80) {
            for (int k = 0; k < CELL_BYTES; k++)
                if (b & (1 << k))
                    ReadBytes(file, cell + k, 1);
        } else {
            cell[0] = b;
            ReadBytes(file, cell + 1, 4);
        }
        StoreCell(cell);
    }
}

static bool AllocatePattern(Pattern* pattern, int rows, int channels)
{
    pattern->rows = rows;
    pattern->cells = static_cast<uint8_t*>(calloc(size_t(rows) * size_t(channels), CELL_BYTES));
    return pattern->cells != nullptr;
}

static bool ReadPatterns(Song* song, void* file)
{
    int referenced = 0;
    for (int i = 0; i < song->songLength; i++)
        if (song->orders[i] >= referenced)
            referenced = song->orders[i] + 1;
    song->patternsReferenced = referenced;
    song->patternCount = referenced > song->patternsInFile ? referenced : song->patternsInFile;
    song->patterns = static_cast<Pattern*>(calloc(size_t(song->patternCount), sizeof(Pattern)));
    if (!song->patterns)
        return false;
    for (int p = 0; p < song->patternsInFile; p++) {
        uint8_t h[9];
        // A pattern header cut off by the end of the file: the module is truncated.
        if (ReadBytes(file, h, 9) < 9)
            return false;
        int rows = Le16(h + 5);
        int packedSize = Le16(h + 7);
        if (rows > SONG_MAX_ROWS)
            return false;
        // A pattern of 0 rows plays as an empty pattern of 64, like a missing one.
        if (!AllocatePattern(&song->patterns[p], rows ? rows : 64, song->channels))
            return false;
        if (packedSize != 0 && rows != 0)
            UnpackCells(file, song->patterns[p].cells, rows * song->channels);
    }
    for (int p = song->patternsInFile; p < song->patternCount; p++)
        if (!AllocatePattern(&song->patterns[p], 64, song->channels))
            return false;
    return true;
}

static void ReadEnvelope(Envelope* envelope, const uint8_t* points)
{
    for (int i = 0; i < ENVELOPE_MAX_POINTS; i++) {
        envelope->points[i].x = Le16(points + i * 4);
        envelope->points[i].y = Le16(points + i * 4 + 2);
    }
}

// Points, sustain and loop indices past the 12 stored points would index outside them.
static void SettleEnvelope(Envelope* envelope)
{
    if (envelope->count > ENVELOPE_MAX_POINTS)
        envelope->count = ENVELOPE_MAX_POINTS;
    if (envelope->count == 0)
        envelope->type = 0;
    if (envelope->sustain >= envelope->count)
        envelope->type &= uint8_t(~ENVELOPE_SUSTAIN);
    if (envelope->loopStart >= envelope->count || envelope->loopEnd >= envelope->count)
        envelope->type &= uint8_t(~ENVELOPE_LOOP);
}

static void ReadInstrumentSettings(Instrument* instrument, void* file)
{
    uint8_t b[4 + 96 + 48 + 48 + 16];
    ReadBytes(file, b, sizeof b);
    memcpy(instrument->keymap, b + 4, 96);
    ReadEnvelope(&instrument->volume, b + 100);
    ReadEnvelope(&instrument->panning, b + 148);
    const uint8_t* s = b + 196;
    instrument->volume.count = s[0];
    instrument->panning.count = s[1];
    instrument->volume.sustain = s[2];
    instrument->volume.loopStart = s[3];
    instrument->volume.loopEnd = s[4];
    instrument->panning.sustain = s[5];
    instrument->panning.loopStart = s[6];
    instrument->panning.loopEnd = s[7];
    instrument->volume.type = s[8];
    instrument->panning.type = s[9];
    instrument->vibratoType = s[10];
    instrument->vibratoSweep = s[11];
    instrument->vibratoDepth = s[12];
    instrument->vibratoRate = s[13];
    instrument->fadeout = Le16(s + 14) * 2;
    SettleEnvelope(&instrument->volume);
    SettleEnvelope(&instrument->panning);
}

// The loop must lie inside the sample: the guard value is written at its end.
static void ClampLoop(Sample* sample)
{
    if (sample->loopMode == LOOP_NONE || sample->loopStart >= sample->length || sample->loopLength == 0) {
        sample->loopMode = LOOP_NONE;
        sample->loopStart = 0;
        sample->loopLength = sample->length;
        return;
    }
    if (sample->loopLength > sample->length - sample->loopStart)
        sample->loopLength = sample->length - sample->loopStart;
}

static void ReadSampleHeader(Sample* sample, void* file)
{
    uint8_t b[40];
    ReadBytes(file, b, 40);
    sample->length = Le32(b);
    sample->loopStart = Le32(b + 4);
    sample->loopLength = Le32(b + 8);
    sample->volume = b[12];
    sample->finetune = int8_t(b[13]);
    sample->loopMode = LOOP_NONE;
    sample->bits = 8;
    uint8_t type = b[14];
    if (type & 1)
        sample->loopMode = LOOP_FORWARD;
    if (type & 2)
        sample->loopMode = LOOP_PINGPONG;
    if (type & 0x10)
        sample->bits = 16;
    sample->fileBits = sample->bits;
    if (sample->loopMode == LOOP_NONE) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
    }
    if (sample->bits == 16) {
        sample->length >>= 1;
        sample->loopStart >>= 1;
        sample->loopLength >>= 1;
    }
    if (sample->loopLength == 0) {
        sample->loopStart = 0;
        sample->loopLength = sample->length;
        sample->loopMode = LOOP_NONE;
    }
    sample->pan = b[15];
    sample->relativeNote = int8_t(b[16]);
    ClampLoop(sample);
}

static bool ReadSampleData(Sample* sample, void* file, int64_t fileSize)
{
    // Data cut short by the end of the file: the sample keeps only the values present.
    int64_t available = fileSize - g_fileOps.tell(file);
    int bytesPerValue = sample->bits / 8;
    if (sample->length > SAMPLE_MAX_LENGTH) {
        sample->length = SAMPLE_MAX_LENGTH;
        ClampLoop(sample);
    }
    if (int64_t(sample->length) * bytesPerValue > available) {
        sample->length = uint32_t(available > 0 ? available / bytesPerValue : 0);
        ClampLoop(sample);
    }
    if (sample->length == 0) {
        sample->bits = 16;
        return true;
    }
    uint32_t length = sample->length;
    int16_t* data = static_cast<int16_t*>(calloc(size_t(length) + 8, sizeof(int16_t)));
    if (!data)
        return false;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(data);
    g_fileOps.read(bytes, int(length * uint32_t(bytesPerValue)), file);
    if (sample->bits == 8) {
        for (uint32_t i = length; i-- > 0;)
            data[i] = int16_t(uint16_t(bytes[i]) << 8);
    } else {
        for (uint32_t i = 0; i < length; i++)
            data[i] = int16_t(Le16(bytes + i * 2));
    }
    sample->bits = 16;
    uint16_t sum = 0;
    for (uint32_t i = 0; i < length; i++) {
        sum = uint16_t(sum + uint16_t(data[i]));
        data[i] = int16_t(sum);
    }
    uint32_t loopEnd = sample->loopStart + sample->loopLength;
    if (sample->loopMode == LOOP_FORWARD)
        data[loopEnd] = data[sample->loopStart];
    else if (sample->loopMode == LOOP_PINGPONG)
        data[loopEnd] = data[loopEnd - 1];
    sample->data = data;
    return true;
}

static bool ReadInstrument(Instrument* instrument, void* file, int64_t fileSize)
{
    int64_t p0 = g_fileOps.tell(file);
    uint8_t b[4];
    ReadBytes(file, b, 4);
    uint32_t headerSize = Le32(b);
    g_fileOps.seek(file, 23, 1);
    ReadBytes(file, b, 2);
    int count = Le16(b);
    for (int i = 0; i < INSTRUMENT_MAX_SAMPLES; i++)
        instrument->samples[i] = &g_emptySample;
    if (count > INSTRUMENT_MAX_SAMPLES)
        return false;
    if (count == 0) {
        g_fileOps.seek(file, p0 + headerSize, 0);
        return true;
    }
    ReadInstrumentSettings(instrument, file);
    g_fileOps.seek(file, p0 + headerSize, 0);
    for (int i = 0; i < count; i++) {
        Sample* sample = static_cast<Sample*>(calloc(1, sizeof(Sample)));
        if (!sample)
            return false;
        instrument->samples[i] = sample;
        instrument->sampleCount = i + 1;
        ReadSampleHeader(sample, file);
    }
    for (int i = 0; i < count; i++)
        if (!ReadSampleData(instrument->samples[i], file, fileSize))
            return false;
    return true;
}

bool SongLoad(Song* song, void* file)
{
    static const char signature[] = "Extended Module: ";
    uint8_t b[17];
    g_fileOps.seek(file, 0, 0);
    if (ReadBytes(file, b, 17) < 17 || memcmp(b, signature, 17) != 0)
        return false;
    song->tickHandler = TickHandler;
    song->initialGlobalVolume = 64;
    int64_t fileSize = FileSize(file);
    if (!ReadHeader(song, file) || !ReadPatterns(song, file))
        return false;
    if (song->instrumentCount > 0) {
        song->instruments = static_cast<Instrument*>(calloc(size_t(song->instrumentCount), sizeof(Instrument)));
        if (!song->instruments)
            return false;
    }
    for (int i = 0; i < song->instrumentCount; i++)
        if (!ReadInstrument(&song->instruments[i], file, fileSize))
            return false;
    return true;
}

Song* SongCreate(void* source)
{
    if (!g_fileOps.open)
        return nullptr;
    Song* song = static_cast<Song*>(calloc(1, sizeof(Song)));
    if (!song)
        return nullptr;
    void* file = g_fileOps.open(source);
    if (!file) {
        free(song);
        return nullptr;
    }
    bool loaded = SongLoad(song, file);
    g_fileOps.close(file);
    if (!loaded) {
        SongDestroy(song);
        return nullptr;
    }
    song->row = 0;
    song->order = 0;
    return song;
}

bool SongDestroy(Song* song)
{
    if (!song)
        return false;
    SoundStop(song);
    for (int i = 0; song->instruments && i < song->instrumentCount; i++) {
        Instrument* instrument = &song->instruments[i];
        for (int k = 0; k < instrument->sampleCount; k++) {
            Sample* sample = instrument->samples[k];
            if (sample && sample != &g_emptySample) {
                free(sample->data);
                free(sample);
            }
        }
    }
    free(song->instruments);
    for (int p = 0; song->patterns && p < song->patternCount; p++)
        free(song->patterns[p].cells);
    free(song->patterns);
    free(song);
    return true;
}

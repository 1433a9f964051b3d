// The demo's video file through libavformat, libavcodec and libswscale. Whoever drives an
// encoder owns it; nothing here is shared between encoders.
#include "export/encoder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "files/output_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

constexpr int kSoundRate = 44100;

struct Encoder {
    EncoderSettings settings;
    OutputFile* out = nullptr;
    uint64_t position = 0; // where the muxer writes next, in bytes
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    SwsContext* convert = nullptr;
    AVFrame* picture = nullptr;  // the scaled frame handed to the video encoder
    AVFrame* small = nullptr;    // the frame converted at its own size (lossy kinds)
    AVFrame* samples = nullptr;  // one sound frame for the sound encoder
    AVPacket* packet = nullptr;
    int64_t framesWritten = 0;
    int64_t samplesWritten = 0;
    std::vector<int16_t> pending; // interleaved sound not yet a whole encoder frame
    std::vector<int> lumaColumns, chromaColumns; // the source column under each output column
    double convertSeconds = 0, encodeSeconds = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Fail(std::string* error, const std::string& what, int code)
{
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    *error = what + ": " + reason;
    return false;
}

// A failed write: the output's own reason (file and system error) when it has one.
bool WriteFailed(Encoder* e, std::string* error, int code)
{
    if (!e->out->error.empty()) {
        *error = e->out->error;
        return false;
    }
    return Fail(error, "cannot write '" + e->out->shown + "'", code);
}

// Hands every packet the codec has ready to the muxer.
bool Drain(Encoder* e, AVCodecContext* codec, AVStream* stream, std::string* error)
{
    for (;;) {
        int result = avcodec_receive_packet(codec, e->packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            return Fail(error, "encoding failed", result);
        av_packet_rescale_ts(e->packet, codec->time_base, stream->time_base);
        e->packet->stream_index = stream->index;
        result = av_interleaved_write_frame(e->format, e->packet);
        if (result < 0)
            return WriteFailed(e, error, result);
    }
}

bool Send(Encoder* e, AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::string* error)
{
    Clock::time_point start = Clock::now();
    int result = avcodec_send_frame(codec, frame);
    bool ok = result >= 0 ? Drain(e, codec, stream, error) : Fail(error, "encoding failed", result);
    e->encodeSeconds += Since(start);
    return ok;
}

constexpr int kIoBufferBytes = 1 << 16;

// The muxer writes through the whole-or-nothing output, seeking back to fill in headers.
int WriteBytes(void* opaque, uint8_t* data, int size)
{
    Encoder* e = (Encoder*)opaque;
    OutputFile* out = e->out;
    size_t overwrite = e->position < out->written ? (size_t)std::min<uint64_t>(out->written - e->position, size) : 0;
    if (e->position > out->written)
        return AVERROR(EINVAL);
    if (overwrite && !OutputFileWriteAt(out, e->position, data, overwrite))
        return AVERROR(EIO);
    if ((size_t)size > overwrite && !OutputFileWrite(out, data + overwrite, (size_t)size - overwrite))
        return AVERROR(EIO);
    e->position += (uint64_t)size;
    return size;
}

int64_t SeekBytes(void* opaque, int64_t offset, int whence)
{
    Encoder* e = (Encoder*)opaque;
    int64_t size = (int64_t)e->out->written;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += (int64_t)e->position;
        break;
    case SEEK_END:
        offset += size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0 || offset > size)
        return AVERROR(EINVAL);
    e->position = (uint64_t)offset;
    return offset;
}

// The output's temporary file by path, for the MP4 muxer's second pass, which reads back what
// it wrote to move its index to the front.
std::string TemporaryPath(const OutputFile* out)
{
    size_t slash = out->shown.rfind('/');
    return slash == std::string::npos ? out->temporary : out->shown.substr(0, slash + 1) + out->temporary;
}

const AVCodec* FindEncoder(const char* name, std::string* error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        *error = std::string("this libavcodec has no ") + name + " encoder";
    return codec;
}

// Exact output for the same input, and no time of day in the file.
void MakeBitExact(AVCodecContext* codec)
{
    codec->flags |= AV_CODEC_FLAG_BITEXACT;
}

// The source column under each of width output columns, a source pixel spanning scale output
// pixels; a plane subsampled by two (step 2) takes the pixel under every second position.
std::vector<int> ColumnMap(int width, int step, int scale)
{
    std::vector<int> map((size_t)width);
    for (int x = 0; x < width; x++)
        map[(size_t)x] = x * step / scale;
    return map;
}

bool OpenVideo(Encoder* e, std::string* error)
{
    const EncoderSettings& s = e->settings;
    bool lossless = s.kind == ENCODER_MKV_LOSSLESS;
    const AVCodec* codec = FindEncoder(lossless ? "ffv1" : "libx264", error);
    if (!codec)
        return false;
    AVCodecContext* c = e->video = avcodec_alloc_context3(codec);
    c->width = s.width * s.scale;
    c->height = s.height * s.scale;
    c->time_base = AVRational{1, s.fps};
    c->framerate = AVRational{s.fps, 1};
    c->sample_aspect_ratio = AVRational{1, 1};
    c->thread_count = s.threads;
    MakeBitExact(c);
    if (lossless) {
        // The frame's own byte order: blue, green, red, unused.
        c->pix_fmt = AV_PIX_FMT_BGR0;
        c->gop_size = 1;
        av_opt_set_int(c->priv_data, "level", 3, 0);
        av_opt_set_int(c->priv_data, "slicecrc", 1, 0);
    } else {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_BT709;
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_BT709;
        c->gop_size = 2 * s.fps;
        // The fastest preset keeps the 1280 x 800 export well ahead of real time on two cores and
        // has no deblocking filter, which would smear the edges of the enlarged pixels (they fall
        // on the transform's block edges). Arithmetic coding costs a tenth more time and saves a
        // third of the size, most of all in the noise and scratch scenes.
        av_opt_set(c->priv_data, "preset", "ultrafast", 0);
        av_opt_set(c->priv_data, "x264-params", "cabac=1", 0);
        av_opt_set_int(c->priv_data, "crf", s.quality, 0);
    }
    if (e->format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(c, codec, nullptr);
    if (result < 0)
        return Fail(error, std::string("cannot open the ") + codec->name + " encoder", result);
    e->videoStream = avformat_new_stream(e->format, nullptr);
    e->videoStream->time_base = c->time_base;
    e->videoStream->avg_frame_rate = c->framerate;
    avcodec_parameters_from_context(e->videoStream->codecpar, c);

    e->picture = av_frame_alloc();
    e->picture->format = c->pix_fmt;
    e->picture->width = c->width;
    e->picture->height = c->height;
    if ((result = av_frame_get_buffer(e->picture, 0)) < 0)
        return Fail(error, "out of memory", result);
    e->lumaColumns = ColumnMap(c->width, 1, s.scale);
    if (lossless)
        return true;
    // Each frame pixel is converted once at its own size, then repeated scale x scale times.
    e->small = av_frame_alloc();
    e->small->format = AV_PIX_FMT_YUV444P;
    e->small->width = s.width;
    e->small->height = s.height;
    if ((result = av_frame_get_buffer(e->small, 0)) < 0)
        return Fail(error, "out of memory", result);
    e->convert = sws_getContext(s.width, s.height, AV_PIX_FMT_BGR0, s.width, s.height, AV_PIX_FMT_YUV444P,
                                SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    if (!e->convert) {
        *error = "libswscale cannot convert the frames";
        return false;
    }
    e->chromaColumns = ColumnMap((c->width + 1) / 2, 2, s.scale);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(e->convert, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool OpenSound(Encoder* e, std::string* error)
{
    bool aac = e->settings.kind == ENCODER_MP4;
    const AVCodec* codec = FindEncoder(aac ? "aac" : "flac", error);
    if (!codec)
        return false;
    AVCodecContext* c = e->sound = avcodec_alloc_context3(codec);
    c->sample_rate = kSoundRate;
    c->time_base = AVRational{1, kSoundRate};
    av_channel_layout_default(&c->ch_layout, 2);
    c->sample_fmt = aac ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    if (aac)
        c->bit_rate = 192000;
    MakeBitExact(c);
    if (e->format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(c, codec, nullptr);
    if (result < 0)
        return Fail(error, std::string("cannot open the ") + codec->name + " encoder", result);
    e->soundStream = avformat_new_stream(e->format, nullptr);
    e->soundStream->time_base = c->time_base;
    avcodec_parameters_from_context(e->soundStream->codecpar, c);
    e->samples = av_frame_alloc();
    e->samples->format = c->sample_fmt;
    e->samples->sample_rate = kSoundRate;
    e->samples->nb_samples = c->frame_size > 0 ? c->frame_size : 4096;
    av_channel_layout_copy(&e->samples->ch_layout, &c->ch_layout);
    if ((result = av_frame_get_buffer(e->samples, 0)) < 0)
        return Fail(error, "out of memory", result);
    return true;
}

// Repeats every pixel of a plane across by the column map and down as the rows fall; an output
// row under the same source row as the one before it is a copy of it.
void ExpandPlane(const uint8_t* from, int fromPitch, uint8_t* to, int toPitch, const std::vector<int>& columns,
                 int toHeight, int step, int scale)
{
    int width = (int)columns.size(), previous = -1;
    for (int y = 0; y < toHeight; y++) {
        int source = y * step / scale;
        uint8_t* out = to + (size_t)y * toPitch;
        if (source == previous) {
            std::memcpy(out, out - toPitch, (size_t)width);
            continue;
        }
        const uint8_t* row = from + (size_t)source * fromPitch;
        for (int x = 0; x < width; x++)
            out[x] = row[columns[(size_t)x]];
        previous = source;
    }
}

bool ScaleLossy(Encoder* e, const uint32_t* pixels)
{
    const EncoderSettings& s = e->settings;
    const uint8_t* source[1] = {(const uint8_t*)pixels};
    int pitch[1] = {s.width * 4};
    if (av_frame_make_writable(e->small) < 0 || av_frame_make_writable(e->picture) < 0)
        return false;
    sws_scale(e->convert, source, pitch, 0, s.height, e->small->data, e->small->linesize);
    AVFrame* p = e->picture;
    ExpandPlane(e->small->data[0], e->small->linesize[0], p->data[0], p->linesize[0], e->lumaColumns, p->height, 1,
                s.scale);
    for (int plane = 1; plane < 3; plane++)
        ExpandPlane(e->small->data[plane], e->small->linesize[plane], p->data[plane], p->linesize[plane],
                    e->chromaColumns, (p->height + 1) / 2, 2, s.scale);
    return true;
}

bool ScaleLossless(Encoder* e, const uint32_t* pixels)
{
    const EncoderSettings& s = e->settings;
    AVFrame* p = e->picture;
    if (av_frame_make_writable(p) < 0)
        return false;
    for (int y = 0; y < p->height; y++) {
        const uint32_t* row = pixels + (size_t)(y / s.scale) * s.width;
        uint32_t* out = (uint32_t*)(p->data[0] + (size_t)y * p->linesize[0]);
        for (int x = 0; x < p->width; x++)
            out[x] = row[e->lumaColumns[(size_t)x]] & 0x00FFFFFF;
    }
    return true;
}

// Encodes one whole sound frame from the front of the pending samples.
bool SendSoundFrame(Encoder* e, int count, std::string* error)
{
    AVFrame* f = e->samples;
    if (av_frame_make_writable(f) < 0)
        return Fail(error, "out of memory", AVERROR(ENOMEM));
    f->nb_samples = count;
    const int16_t* in = e->pending.data();
    if (f->format == AV_SAMPLE_FMT_FLTP) {
        float* left = (float*)f->data[0];
        float* right = (float*)f->data[1];
        for (int i = 0; i < count; i++) {
            left[i] = in[2 * i] * (1.0f / 32768.0f);
            right[i] = in[2 * i + 1] * (1.0f / 32768.0f);
        }
    } else {
        std::memcpy(f->data[0], in, (size_t)count * 4);
    }
    f->pts = e->samplesWritten;
    e->samplesWritten += count;
    e->pending.erase(e->pending.begin(), e->pending.begin() + 2 * (ptrdiff_t)count);
    return Send(e, e->sound, e->soundStream, f, error);
}

int SoundFrameSize(const Encoder* e)
{
    return e->sound->frame_size > 0 ? e->sound->frame_size : 4096;
}

} // namespace

Encoder* EncoderOpen(OutputFile* out, const EncoderSettings& settings, std::string* error)
{
    // The libraries' own chatter would interleave with the progress; failures come back as codes.
    av_log_set_level(AV_LOG_QUIET);
    Encoder* e = new Encoder;
    e->settings = settings;
    e->out = out;
    const char* name = settings.kind == ENCODER_MP4 ? "mp4" : "matroska";
    int result = avformat_alloc_output_context2(&e->format, nullptr, name, nullptr);
    if (result < 0 || !e->format) {
        Fail(error, std::string("this libavformat cannot write ") + name, result);
        EncoderClose(e);
        return nullptr;
    }
    e->format->flags |= AVFMT_FLAG_BITEXACT;
    e->format->url = av_strdup(TemporaryPath(out).c_str());
    av_dict_set(&e->format->metadata, "title", settings.title, 0);
    e->packet = av_packet_alloc();
    if (!OpenVideo(e, error) || !OpenSound(e, error)) {
        EncoderClose(e);
        return nullptr;
    }
    uint8_t* buffer = (uint8_t*)av_malloc(kIoBufferBytes);
    e->io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, e, nullptr, WriteBytes, SeekBytes) : nullptr;
    if (!e->io) {
        av_free(buffer);
        Fail(error, "out of memory", AVERROR(ENOMEM));
        EncoderClose(e);
        return nullptr;
    }
    e->format->pb = e->io;
    e->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    if (settings.kind == ENCODER_MP4)
        av_dict_set(&options, "movflags", "+faststart", 0);
    result = avformat_write_header(e->format, &options);
    av_dict_free(&options);
    if (result < 0) {
        WriteFailed(e, error, result);
        EncoderClose(e);
        return nullptr;
    }
    return e;
}

bool EncoderWriteFrame(Encoder* e, const uint32_t* pixels, std::string* error)
{
    Clock::time_point start = Clock::now();
    bool scaled = e->settings.kind == ENCODER_MKV_LOSSLESS ? ScaleLossless(e, pixels) : ScaleLossy(e, pixels);
    e->convertSeconds += Since(start);
    if (!scaled)
        return Fail(error, "out of memory", AVERROR(ENOMEM));
    e->picture->pts = e->framesWritten++;
    return Send(e, e->video, e->videoStream, e->picture, error);
}

bool EncoderWriteSound(Encoder* e, const int16_t* pcm, int frames, std::string* error)
{
    e->pending.insert(e->pending.end(), pcm, pcm + 2 * (ptrdiff_t)frames);
    int size = SoundFrameSize(e);
    while ((int)(e->pending.size() / 2) >= size)
        if (!SendSoundFrame(e, size, error))
            return false;
    return true;
}

bool EncoderFinish(Encoder* e, std::string* error)
{
    int left = (int)(e->pending.size() / 2);
    if (left > 0 && !SendSoundFrame(e, left, error))
        return false;
    if (!Send(e, e->video, e->videoStream, nullptr, error) || !Send(e, e->sound, e->soundStream, nullptr, error))
        return false;
    int result = av_write_trailer(e->format);
    avio_flush(e->io);
    if (result < 0 || e->io->error < 0)
        return WriteFailed(e, error, result < 0 ? result : e->io->error);
    return true;
}

void EncoderClose(Encoder* e)
{
    if (!e)
        return;
    avcodec_free_context(&e->video);
    avcodec_free_context(&e->sound);
    av_frame_free(&e->picture);
    av_frame_free(&e->small);
    av_frame_free(&e->samples);
    av_packet_free(&e->packet);
    sws_freeContext(e->convert);
    avformat_free_context(e->format);
    if (e->io)
        av_freep(&e->io->buffer);
    avio_context_free(&e->io);
    delete e;
}

void EncoderTimes(const Encoder* e, double* convertSeconds, double* encodeSeconds)
{
    *convertSeconds = e->convertSeconds;
    *encodeSeconds = e->encodeSeconds;
}

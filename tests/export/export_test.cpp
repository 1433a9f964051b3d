// murova-export run as a user runs it; what it writes is decoded back with the same libraries
// and compared with the production's own frames and the song's offline render.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "host/offline.h"
#include "tests/export/run_export.h"

namespace {

namespace fs = std::filesystem;
using sandbox::Result;

struct Decoded {
    std::string video, audio; // codec names
    int width = 0, height = 0;
    AVRational frameRate{0, 1};
    std::vector<std::vector<uint32_t>> frames; // BGR0 pixels (lossless files only)
    std::vector<int16_t> samples;              // interleaved (FLAC only)
    int64_t videoPackets = 0, audioSamples = 0;
    double videoSeconds = 0, audioSeconds = 0;
    std::string title;
};

void DecodeStream(AVFormatContext* format, int index, Decoded& d, bool keep)
{
    AVStream* stream = format->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(c, stream->codecpar);
    ASSERT_EQ(avcodec_open2(c, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    auto take = [&] {
        while (avcodec_receive_frame(c, frame) == 0) {
            if (video && keep && frame->format == AV_PIX_FMT_BGR0) {
                std::vector<uint32_t> pixels((size_t)frame->width * frame->height);
                for (int y = 0; y < frame->height; y++)
                    std::memcpy(&pixels[(size_t)y * frame->width], frame->data[0] + (size_t)y * frame->linesize[0],
                                (size_t)frame->width * 4);
                d.frames.push_back(std::move(pixels));
            }
            if (!video) {
                d.audioSamples += frame->nb_samples;
                if (keep && frame->format == AV_SAMPLE_FMT_S16)
                    d.samples.insert(d.samples.end(), (int16_t*)frame->data[0],
                                     (int16_t*)frame->data[0] + 2 * (size_t)frame->nb_samples);
            }
        }
    };
    av_seek_frame(format, -1, 0, AVSEEK_FLAG_BACKWARD);
    while (av_read_frame(format, packet) == 0) {
        if (packet->stream_index == index) {
            d.videoPackets += video;
            avcodec_send_packet(c, packet);
            take();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(c, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
}

Decoded Decode(const fs::path& path, bool keep)
{
    Decoded d;
    AVFormatContext* format = nullptr;
    EXPECT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0) << path;
    if (!format)
        return d;
    avformat_find_stream_info(format, nullptr);
    if (AVDictionaryEntry* t = av_dict_get(format->metadata, "title", nullptr, 0))
        d.title = t->value;
    EXPECT_EQ(format->nb_streams, 2u);
    for (unsigned i = 0; i < format->nb_streams; i++) {
        AVStream* s = format->streams[i];
        double seconds = s->duration > 0 ? (double)s->duration * av_q2d(s->time_base) : 0;
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            d.video = avcodec_get_name(s->codecpar->codec_id);
            d.width = s->codecpar->width;
            d.height = s->codecpar->height;
            d.frameRate = s->avg_frame_rate;
            d.videoSeconds = seconds;
        } else {
            d.audio = avcodec_get_name(s->codecpar->codec_id);
            d.audioSeconds = seconds;
        }
    }
    for (unsigned i = 0; i < format->nb_streams; i++)
        DecodeStream(format, (int)i, d, keep);
    avformat_close_input(&format);
    return d;
}

// The production's own frames and sound for frames [first, end) at fps, through the offline
// driver in this process.
struct Reference {
    std::vector<std::vector<uint32_t>> frames;
    std::vector<int16_t> sound; // from the song's start
};

Reference Render(uint64_t first, uint64_t end, int fps)
{
    static Reference* heard;
    Reference r;
    heard = &r;
    OfflineStart([](const int16_t* pcm, int frames, void*) { heard->sound.insert(heard->sound.end(), pcm, pcm + 2 * frames); },
                 nullptr);
    for (uint64_t n = 0; n < end; n++) {
        OfflineFrame(n, (uint32_t)fps);
        if (n >= first) {
            const FrameSurface& f = OfflineFrameSurface();
            r.frames.emplace_back(f.pixels, f.pixels + (size_t)f.width * f.height);
        }
    }
    OfflineMixTo(end * 44100 / (uint64_t)fps);
    OfflineStop();
    return r;
}

// The decoded frame holds the reference frame with each pixel a scale x scale block.
int PixelsDiffering(const std::vector<uint32_t>& decoded, const std::vector<uint32_t>& frame, int scale)
{
    int wrong = 0;
    for (int y = 0; y < 200 * scale; y++)
        for (int x = 0; x < 320 * scale; x++)
            wrong += ((decoded[(size_t)y * 320 * scale + x] ^ frame[(size_t)(y / scale) * 320 + x / scale]) & 0xFFFFFF) != 0;
    return wrong;
}

void ExpectExact(const fs::path& file, uint64_t first, uint64_t end, int fps, int scale)
{
    Decoded d = Decode(file, true);
    EXPECT_EQ(d.video, "ffv1");
    EXPECT_EQ(d.audio, "flac");
    EXPECT_EQ(d.title, "Murova by Tarsel");
    EXPECT_EQ(d.width, 320 * scale);
    EXPECT_EQ(d.frameRate.num, fps);
    EXPECT_EQ(d.frameRate.den, 1);
    ASSERT_EQ(d.frames.size(), end - first);
    Reference r = Render(first, end, fps);
    for (size_t i = 0; i < d.frames.size(); i++)
        ASSERT_EQ(PixelsDiffering(d.frames[i], r.frames[i], scale), 0) << "frame " << first + i;
    size_t from = 2 * (first * 44100 / (uint64_t)fps), to = 2 * (end * 44100 / (uint64_t)fps);
    ASSERT_EQ(d.samples.size(), to - from);
    EXPECT_TRUE(std::equal(d.samples.begin(), d.samples.end(), r.sound.begin() + (ptrdiff_t)from))
        << "the sound is the offline render's";
}

TEST(Export, LosslessOpeningIsEveryFrameAndSampleExact)
{
    sandbox::Sandbox box = ExportSandbox();
    Result r = Export(box, "open.mkv --lossless --fps 30 --scale 2 --to 2");
    ASSERT_EQ(r.code, 0) << r.err << box.log;
    EXPECT_FALSE(fs::exists(box.dir / "open.mkv.part"));
    ExpectExact(box.dir / "open.mkv", 0, 60, 30, 2);
}

// Order 7 starts at 49.8 s: frames before --from are drawn but not written, so the tunnel
// scene that follows has the history it has in a full run.
TEST(Export, LosslessStretchAcrossASceneBoundary)
{
    sandbox::Sandbox box = ExportSandbox();
    Result r = Export(box, "cut.mkv --lossless --fps 25 --scale 1 --from 49.2 --to 50.4");
    ASSERT_EQ(r.code, 0) << r.err << box.log;
    ExpectExact(box.dir / "cut.mkv", 1230, 1260, 25, 1);
}

TEST(Export, Mp4HasOneH264AndOneAacStreamOfTheRightLength)
{
    sandbox::Sandbox box = ExportSandbox();
    Result r = Export(box, "short.mp4 --from 100 --to 101.5");
    ASSERT_EQ(r.code, 0) << r.err << box.log;
    Decoded d = Decode(box.dir / "short.mp4", false);
    EXPECT_EQ(d.video, "h264");
    EXPECT_EQ(d.audio, "aac");
    EXPECT_EQ(d.width, 1280);
    EXPECT_EQ(d.height, 800);
    EXPECT_EQ(d.videoPackets, 90);
    EXPECT_NEAR(d.videoSeconds, 1.5, 1.0 / 60);
    EXPECT_NEAR(d.audioSeconds, 1.5, 1.0 / 60);
    EXPECT_NEAR((double)d.audioSamples / 44100, 1.5, 1.0 / 60);
}

TEST(Export, TheSameCommandWritesTheSameBytes)
{
    sandbox::Sandbox box = ExportSandbox();
    ASSERT_EQ(Export(box, "a.mp4 --from 62 --to 63").code, 0) << box.log;
    ASSERT_EQ(Export(box, "b.mp4 --from 62 --to 63").code, 0) << box.log;
    std::string a = sandbox::ReadFile(box.dir / "a.mp4"), b = sandbox::ReadFile(box.dir / "b.mp4");
    EXPECT_GT(a.size(), 10000u);
    EXPECT_TRUE(a == b);
}

} // namespace

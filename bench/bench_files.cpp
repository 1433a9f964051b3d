// Throughput of LZSS decoding and encoding on a few MB of mixed data (text and photo-like raw
// pixels), zlib's inflate of the same data as the yardstick, and reading every member of a
// compressed, enciphered archive through ArchiveFileSystem.
//
// Text: the project's own source files (found from this file's path), topped up with generated
// prose when they are not there. Pixels: a 1024 x 768 RGB picture made by midpoint displacement
// (the statistics of a natural scene: smooth regions, edges, fine grain) with sensor-like noise.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "files/archive_file_system.h"
#include "files/archive_writer.h"
#include "files/lzss.h"
#include "files/memory_stream.h"

namespace {

constexpr size_t TEXT_BYTES = 1500 * 1024;
constexpr int PHOTO_WIDTH = 1024, PHOTO_HEIGHT = 768;

std::vector<uint8_t> SourceText()
{
    namespace fs = std::filesystem;
    std::vector<uint8_t> text;
    fs::path root = fs::path(__FILE__).parent_path().parent_path();
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string path = it->path().string();
        if (path.find("/build") != std::string::npos || path.find("/.git") != std::string::npos) continue;
        std::string ext = it->path().extension().string();
        if (ext == ".cpp" || ext == ".h" || ext == ".md" || ext == ".txt") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files) {
        if (text.size() >= TEXT_BYTES) break;
        std::ifstream in(p, std::ios::binary);
        text.insert(text.end(), std::istreambuf_iterator<char>(in), {});
    }
    static const char* words[] = {"the ",   "frame ", "thread ", "draws ", "every ",  "pixel ",  "while ",
                                  "music ", "plays ", "and ",    "scene ", "follows ", "order ", "row.\n"};
    std::mt19937 rng(1);
    while (text.size() < TEXT_BYTES) {
        const char* w = words[rng() % 14];
        text.insert(text.end(), w, w + std::strlen(w));
    }
    text.resize(TEXT_BYTES);
    return text;
}

std::vector<uint8_t> PhotoPixels()
{
    const int size = 1024;  // square height field, cropped to the picture
    std::vector<float> h(size_t(size + 1) * (size + 1), 0.0f);
    auto at = [&](int x, int y) -> float& { return h[size_t(y) * (size + 1) + x]; };
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    float amplitude = 128.0f;
    for (int step = size; step > 1; step /= 2, amplitude *= 0.55f) {
        int half = step / 2;
        for (int y = half; y < size; y += step)
            for (int x = half; x < size; x += step)
                at(x, y) = (at(x - half, y - half) + at(x + half, y - half) + at(x - half, y + half) + at(x + half, y + half)) / 4 +
                           unit(rng) * amplitude;
        for (int y = 0; y <= size; y += half)
            for (int x = (y / half) % 2 ? 0 : half; x <= size; x += step) {
                float sum = 0;
                int n = 0;
                if (x >= half) sum += at(x - half, y), n++;
                if (x + half <= size) sum += at(x + half, y), n++;
                if (y >= half) sum += at(x, y - half), n++;
                if (y + half <= size) sum += at(x, y + half), n++;
                at(x, y) = sum / n + unit(rng) * amplitude;
            }
    }
    std::normal_distribution<float> grain(0.0f, 2.5f);
    std::vector<uint8_t> pixels;
    pixels.reserve(size_t(PHOTO_WIDTH) * PHOTO_HEIGHT * 3);
    for (int y = 0; y < PHOTO_HEIGHT; y++)
        for (int x = 0; x < PHOTO_WIDTH; x++) {
            float v = at(x, y) + 128.0f;
            float channel[3] = {v * 0.9f + 20, v * 0.8f + 30 + y * 0.02f, v * 0.6f + 60 - y * 0.05f};
            for (float c : channel) pixels.push_back(uint8_t(std::clamp(c + grain(rng), 0.0f, 255.0f)));
        }
    return pixels;
}

const std::vector<uint8_t>& Mixed()
{
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d = SourceText();
        std::vector<uint8_t> p = PhotoPixels();
        d.insert(d.end(), p.begin(), p.end());
        return d;
    }();
    return data;
}

std::vector<uint8_t> LzssEncode(const std::vector<uint8_t>& data)
{
    return LzssCompress(data.data(), data.size());
}

void BM_LzssDecode(benchmark::State& state)
{
    const std::vector<uint8_t>& data = Mixed();
    static const std::vector<uint8_t> packed = LzssEncode(data);
    std::vector<uint8_t> out(data.size());
    const uint32_t piece = uint32_t(state.range(0));
    for (auto _ : state) {
        MemoryByteSource source(packed.data(), packed.size());
        LzssDecoder decoder(&source);
        size_t done = 0;
        uint32_t k;
        while ((k = decoder.Read(out.data() + done, uint32_t(std::min<size_t>(piece, out.size() - done)))) != 0) done += k;
        if (done != data.size()) state.SkipWithError("decoded size differs");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["ratio"] = double(packed.size()) / double(data.size());
}

void BM_LzssEncode(benchmark::State& state)
{
    const std::vector<uint8_t>& data = Mixed();
    size_t packed = 0;
    for (auto _ : state) packed = LzssEncode(data).size();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["ratio"] = double(packed) / double(data.size());
}

void BM_ZlibInflate(benchmark::State& state)
{
    const std::vector<uint8_t>& data = Mixed();
    static const std::vector<uint8_t> packed = [&] {
        uLongf size = compressBound(uLong(data.size()));
        std::vector<uint8_t> p(size);
        compress2(p.data(), &size, data.data(), uLong(data.size()), Z_DEFAULT_COMPRESSION);
        p.resize(size);
        return p;
    }();
    std::vector<uint8_t> out(data.size());
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        if (uncompress(out.data(), &size, packed.data(), uLong(packed.size())) != Z_OK || size != data.size())
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["ratio"] = double(packed.size()) / double(data.size());
}

// About 3 MB of members: the text in source-file-sized pieces, the picture in row bands.
const std::vector<uint8_t>& BenchArchive(uint64_t* memberBytes, std::vector<std::string>* names)
{
    static std::vector<std::string> memberNames;
    static uint64_t total = 0;
    static const std::vector<uint8_t> archive = [] {
        const std::vector<uint8_t>& data = Mixed();
        std::vector<ArchiveItem> items;
        const size_t textEnd = TEXT_BYTES;
        for (size_t at = 0, k = 0; at < data.size(); k++) {
            size_t piece = at < textEnd ? std::min<size_t>(24 * 1024, textEnd - at) : std::min<size_t>(196608, data.size() - at);
            std::string name = (at < textEnd ? "text/part" : "images/band") + std::to_string(k) + ".bin";
            items.push_back({name, false, std::vector<uint8_t>(data.begin() + at, data.begin() + at + piece)});
            memberNames.push_back(name);
            total += piece;
            at += piece;
        }
        std::vector<uint8_t> bytes;
        std::string error;
        ArchiveBuild(items, {true, true}, &bytes, &error);
        return bytes;
    }();
    *memberBytes = total;
    *names = memberNames;
    return archive;
}

void BM_ArchiveReadAll(benchmark::State& state)
{
    uint64_t total = 0;
    std::vector<std::string> names;
    const std::vector<uint8_t>& archive = BenchArchive(&total, &names);
    MemoryStream stream(archive.data(), archive.size());
    ArchiveFileSystem fs(&stream);
    std::vector<uint8_t> buffer(256 * 1024);
    for (auto _ : state) {
        uint64_t got = 0;
        for (const std::string& name : names) {
            Stream* s = fs.Open(name, ReadOnly);
            if (!s) {
                state.SkipWithError("member missing");
                break;
            }
            got += s->Read(buffer.data(), uint32_t(s->GetSize()));
            s->Close();
        }
        if (got != total) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
    state.counters["archive_MB"] = double(archive.size()) / 1e6;
    state.counters["members"] = double(names.size());
}

}  // namespace

BENCHMARK(BM_LzssDecode)->Arg(4096)->Arg(1 << 30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveReadAll)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

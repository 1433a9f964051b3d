// The production's generated data, read the way the demo reads it: the archive embedded as
// resource 102, its members through the archive file system, the pictures through the image
// reader, the song through the music player's offline driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "files/archive_file_system.h"
#include "files/resource_file_system.h"
#include "images/image.h"
#include "platform/resources.h"
#include "sound/music.h"
#include "sound/song.h"

namespace {

enum Use { Colour, AlphaOf, TextureOf };

struct Expected {
  const char *file;
  int kind;
  Use use;
  int width, height;  // 0: any power of two
};

// What the production loads, by file: kind, how it is used and the size it needs.
const Expected kPictures[] = {
    {"start.jpg", KindJpeg, Colour, 320, 100},    {"default.jpg", KindJpeg, TextureOf, 256, 256},
    {"tarsel.jpg", KindJpeg, Colour, 320, 200},   {"formule.jpg", KindJpeg, Colour, 640, 400},
    {"code.jpg", KindJpeg, Colour, 320, 200},     {"music.jpg", KindJpeg, Colour, 320, 200},
    {"def2.jpg", KindJpeg, TextureOf, 256, 256},  {"zooi.jpg", KindJpeg, Colour, 320, 1000},
    {"scratch.pcx", KindPcx, Colour, 320, 1600},  {"hohoho.jpg", KindJpeg, TextureOf, 0, 0},
    {"refuse.jpg", KindJpeg, Colour, 320, 200},   {"refusea.jpg", KindJpeg, AlphaOf, 320, 200},
    {"chago.jpg", KindJpeg, Colour, 320, 200},    {"tekst3.jpg", KindJpeg, Colour, 320, 600},
    {"tekst4.jpg", KindJpeg, Colour, 320, 600},   {"tekst5.jpg", KindJpeg, Colour, 320, 850},
    {"sat.jpg", KindJpeg, Colour, 640, 200},      {"water.pcx", KindPcx, TextureOf, 256, 256},
    {"diurne3.pcx", KindPcx, Colour, 320, 200},   {"diurne3a.pcx", KindPcx, AlphaOf, 320, 200},
    {"diurne1.jpg", KindJpeg, Colour, 320, 200},  {"meid2.jpg", KindJpeg, Colour, 320, 200},
    {"meid.jpg", KindJpeg, AlphaOf, 320, 200},    {"envmap.jpg", KindJpeg, TextureOf, 0, 0},
    {"test.jpg", KindJpeg, TextureOf, 0, 0},      {"lens.jpg", KindJpeg, TextureOf, 256, 256},
    {"tekst.jpg", KindJpeg, Colour, 320, 600},    {"tekst2.jpg", KindJpeg, Colour, 320, 600},
    {"water2.jpg", KindJpeg, TextureOf, 256, 256}, {"hebben2.jpg", KindJpeg, Colour, 320, 800},
    {"hebben1.jpg", KindJpeg, AlphaOf, 320, 800}, {"heers2.jpg", KindJpeg, Colour, 320, 200},
    {"heers1.jpg", KindJpeg, AlphaOf, 320, 200},  {"bot.jpg", KindJpeg, TextureOf, 0, 0},
    {"keers2.jpg", KindJpeg, Colour, 320, 200},   {"keers1.jpg", KindJpeg, AlphaOf, 320, 200},
    {"bol.jpg", KindJpeg, TextureOf, 256, 256},   {"bol2.jpg", KindJpeg, TextureOf, 256, 256},
    {"bert2.jpg", KindJpeg, Colour, 320, 200},    {"bert1.jpg", KindJpeg, AlphaOf, 320, 200},
    {"frut.jpg", KindJpeg, Colour, 320, 200},     {"einde.jpg", KindJpeg, Colour, 320, 200},
};

// Alpha file -> its colour picture.
const std::map<std::string, std::string> kAlphaPairs = {
    {"refusea.jpg", "refuse.jpg"}, {"diurne3a.pcx", "diurne3.pcx"}, {"meid.jpg", "meid2.jpg"},
    {"hebben1.jpg", "hebben2.jpg"}, {"heers1.jpg", "heers2.jpg"},   {"keers1.jpg", "keers2.jpg"},
    {"bert1.jpg", "bert2.jpg"}};

std::vector<uint8_t> ReadMember(FileSystem &fs, const std::string &name) {
  std::vector<uint8_t> bytes;
  Stream *s = fs.Open(name, ReadOnly);
  if (!s) return bytes;
  bytes.resize(size_t(s->GetSize()));
  uint32_t got = s->Read(bytes.data(), uint32_t(bytes.size()));
  s->Close();
  bytes.resize(got);
  return bytes;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The embedded archive, mounted as the host mounts it.
class Archive {
 public:
  Archive() {
    std::string name = resources.FirstResourceName();
    if (!name.empty()) stream = resources.Open(name, ReadOnly);
    if (stream) fs = std::make_unique<ArchiveFileSystem>(stream);
  }
  ~Archive() {
    fs.reset();
    if (stream) stream->Close();
  }
  ResourceFileSystem resources;
  Stream *stream = nullptr;
  std::unique_ptr<ArchiveFileSystem> fs;
};

struct Decoded {
  int kind = KindUnknown, width = 0, height = 0;
  bool ok = false;
  std::vector<uint32_t> argb;  // colour pictures
  std::vector<uint8_t> grey;   // alpha pictures
};

Decoded Decode(const std::vector<uint8_t> &bytes, const std::string &name, bool grey) {
  Decoded d;
  MemoryImageSource source(bytes.data(), bytes.size());
  Image image(&source, name.c_str());
  d.kind = image.GetKind();
  if (!image.Open()) return d;
  d.width = image.GetWidth();
  d.height = image.GetHeight();
  size_t n = size_t(d.width) * size_t(d.height);
  if (grey) {
    d.grey.resize(n);
    d.ok = image.Read(d.grey.data(), FormatGray8, d.width, nullptr);
  } else {
    d.argb.resize(n);
    d.ok = image.Read(d.argb.data(), FormatARGB32, d.width * 4, nullptr);
  }
  return d;
}

bool PowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

float Luma(uint32_t p) { return float(((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255)) / 3.0f; }

TEST(ProductionArchive, IsResource102AndEnciphered) {
  ResourceInfo info{};
  ASSERT_TRUE(ResourceFind("FileSystem", 102, &info));
  EXPECT_GT(info.size, 2048u);
  Archive a;
  EXPECT_EQ(a.resources.FirstResourceName(), "102");
  ASSERT_TRUE(a.fs);
  EXPECT_TRUE(a.fs->IsUsable());
  EXPECT_TRUE(a.fs->IsEnciphered());
  RecordProperty("archive_bytes", int(info.size));
}

TEST(ProductionArchive, HoldsExactlyThePicturesAndTheSong) {
  Archive a;
  ASSERT_TRUE(a.fs);
  std::set<std::string> listed;
  FileEnumerator *e = a.fs->FindFirst("*");
  ASSERT_NE(e, nullptr);
  do {
    EXPECT_FALSE(e->IsDirectory()) << e->GetName();
    listed.insert(e->GetName());
  } while (a.fs->FindNext(e));
  a.fs->FindClose(e);
  std::set<std::string> expected = {"murova.xm"};
  for (const Expected &p : kPictures) expected.insert(p.file);
  EXPECT_EQ(expected.size(), 43u);
  EXPECT_EQ(listed, expected);
}

TEST(ProductionArchive, IconIsResource101AsA32BitBitmap) {
  ResourceInfo info{};
  ASSERT_TRUE(ResourceFind("Icon", 101, &info));
  std::vector<uint8_t> bytes(info.data, info.data + info.size);
  Decoded d = Decode(bytes, "icon.bmp", false);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.kind, KindBmp);
  EXPECT_EQ(d.width, 32);
  EXPECT_EQ(d.height, 32);
  // A round icon: transparent corners, opaque centre.
  EXPECT_EQ(d.argb[0] >> 24, 0u);
  EXPECT_EQ(d.argb[16 * 32 + 16] >> 24, 255u);
}

TEST(ProductionPictures, EveryPictureLoadsAsItsKindAtItsSize) {
  Archive a;
  ASSERT_TRUE(a.fs);
  std::map<std::string, std::pair<int, int>> sizes;
  for (const Expected &p : kPictures) {
    SCOPED_TRACE(p.file);
    Decoded d = Decode(ReadMember(*a.fs, p.file), p.file, p.use == AlphaOf);
    EXPECT_EQ(d.kind, p.kind);
    ASSERT_TRUE(d.ok);
    sizes[p.file] = {d.width, d.height};
    if (p.width) {
      EXPECT_EQ(d.width, p.width);
      EXPECT_EQ(d.height, p.height);
    }
    if (p.use == TextureOf) {
      EXPECT_TRUE(PowerOfTwo(d.width) && PowerOfTwo(d.height)) << d.width << "x" << d.height;
    }
  }
  for (const auto &[alpha, colour] : kAlphaPairs) EXPECT_EQ(sizes[alpha], sizes[colour]) << alpha;
}

// An alpha picture cuts a shape out: clear areas, solid areas, and not much in between.
TEST(ProductionPictures, AlphaPicturesCutOutAShape) {
  Archive a;
  ASSERT_TRUE(a.fs);
  for (const auto &[alpha, colour] : kAlphaPairs) {
    SCOPED_TRACE(alpha);
    Decoded d = Decode(ReadMember(*a.fs, alpha), alpha, true);
    ASSERT_TRUE(d.ok);
    size_t clear = 0, solid = 0;
    for (uint8_t v : d.grey) clear += v < 8, solid += v > 247;
    EXPECT_GT(clear, d.grey.size() / 10);
    EXPECT_GT(solid, d.grey.size() / 20);
    EXPECT_GT(clear + solid, d.grey.size() * 17 / 20);
  }
}

// Text pages are screened over the scenes: mostly black, with bright white letters.
TEST(ProductionPictures, TextPagesAreWhiteOnBlack) {
  Archive a;
  ASSERT_TRUE(a.fs);
  for (const char *name : {"tekst.jpg", "tekst2.jpg", "tekst3.jpg", "tekst4.jpg", "tekst5.jpg"}) {
    SCOPED_TRACE(name);
    Decoded d = Decode(ReadMember(*a.fs, name), name, false);
    ASSERT_TRUE(d.ok);
    size_t dark = 0, white = 0;
    for (uint32_t p : d.argb) {
      float l = Luma(p);
      dark += l < 16;
      white += l > 230 && std::abs(int((p >> 16) & 255) - int(p & 255)) < 24;
    }
    EXPECT_GT(dark, d.argb.size() * 3 / 4);
    EXPECT_GT(white, d.argb.size() / 200);
  }
}

// Textures wrap in the tunnel, the planes, the warps and the spheres: the step across the wrap
// edge must look like any step inside the picture.
TEST(ProductionPictures, TexturesTileWithoutSeams) {
  Archive a;
  ASSERT_TRUE(a.fs);
  for (const char *name : {"default.jpg", "def2.jpg", "hohoho.jpg", "water.pcx", "water2.jpg", "bot.jpg",
                           "bol.jpg", "bol2.jpg", "test.jpg"}) {
    SCOPED_TRACE(name);
    Decoded d = Decode(ReadMember(*a.fs, name), name, false);
    ASSERT_TRUE(d.ok);
    auto at = [&](int x, int y) { return Luma(d.argb[size_t(y) * size_t(d.width) + size_t(x)]); };
    auto columnStep = [&](int x0, int x1) {
      float s = 0;
      for (int y = 0; y < d.height; y++) s += std::fabs(at(x0, y) - at(x1, y));
      return s / float(d.height);
    };
    auto rowStep = [&](int y0, int y1) {
      float s = 0;
      for (int x = 0; x < d.width; x++) s += std::fabs(at(x, y0) - at(x, y1));
      return s / float(d.width);
    };
    // Patterned textures have hard edges inside too (tiles, panels): the wrap may be as sharp
    // as the sharpest of them, but a seam of noise that does not wrap is sharper still.
    float inside = 0;
    for (int k = 1; k < d.width; k++) inside = std::max({inside, columnStep(k - 1, k), rowStep(k - 1, k)});
    EXPECT_LT(columnStep(d.width - 1, 0), 1.25f * inside + 2.0f);
    EXPECT_LT(rowStep(d.height - 1, 0), 1.25f * inside + 2.0f);
  }
}

// The song: loads, plays through every scene boundary and event row, and reaches its end
// mark at order 42, row 32 after four to six minutes.
TEST(ProductionSong, PassesTheTimelineAndReachesTheEndMark) {
  Archive a;
  ASSERT_TRUE(a.fs);
  std::vector<uint8_t> xm = ReadMember(*a.fs, "murova.xm");
  ASSERT_FALSE(xm.empty());
  ASSERT_EQ(MusicLoad(xm.data(), int(xm.size())), 0);
  ASSERT_TRUE(MusicRenderBegin());
  std::vector<int16_t> pcm(size_t(MUSIC_BLOCK_FRAMES) * 2);
  std::map<int, int> lastRow;             // order -> highest row heard
  std::map<int, double> energy;           // order -> mean square of the samples
  std::map<int, long> frames;
  int previous = 0, blocks = 0, endBlock = -1;
  bool monotonic = true;
  // Scene boundaries and event positions of the timeline; each must be crossed once, in order.
  const int kMarks[] = {0x0300, 0x0368, 0x0376, 0x0400, 0x0468, 0x0476, 0x0500, 0x0568, 0x0576, 0x0600,
                        0x0700, 0x0B00, 0x0F00, 0x1100, 0x1300, 0x1700, 0x1900, 0x1C58, 0x1D00, 0x1F78,
                        0x2078, 0x2100, 0x2500, 0x2900, 0x2978, 0x2A20};
  std::map<int, double> crossedAt;
  long clipped = 0;
  while (blocks < 60 * 60 * 50 && endBlock < 0) {
    int pos = MusicRenderBlock(pcm.data());
    ASSERT_GE(pos, 0);
    blocks++;
    if (pos < previous) monotonic = false;
    for (int mark : kMarks)
      if (pos >= mark && previous < mark) crossedAt[mark] = double(blocks) * MUSIC_BLOCK_FRAMES / MUSIC_MIX_RATE;
    previous = pos;
    int order = pos >> 8;
    lastRow[order] = std::max(lastRow[order], pos & 0xFF);
    for (int16_t s : pcm) {
      energy[order] += double(s) * double(s);
      clipped += s == 32767 || s == -32768;
    }
    frames[order] += MUSIC_BLOCK_FRAMES;
    if (pos >= 0x2A20) endBlock = blocks;
  }
  MusicRenderEnd();
  MusicFree();
  ASSERT_GT(endBlock, 0) << "the end mark was never reached";
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(clipped, 0) << "samples at full scale";
  double seconds = double(endBlock) * MUSIC_BLOCK_FRAMES / MUSIC_MIX_RATE;
  RecordProperty("end_mark_seconds", int(seconds));
  std::printf("end mark (order 42, row 32) reached after %.1f s\n", seconds);
  EXPECT_GE(seconds, 240.0);
  EXPECT_LE(seconds, 360.0);
  for (int mark : kMarks) {
    EXPECT_TRUE(crossedAt.count(mark)) << std::hex << mark;
    std::printf("%04X at %6.1f s\n", mark, crossedAt[mark]);
  }
  // Every order is heard up to the last event row (the close at order 41 row 120 included).
  for (int order = 0; order < 42; order++) EXPECT_GE(lastRow[order], 120) << "order " << order;
  EXPECT_GE(lastRow[42], 32);
  // Music sounds through every scene, from the first pattern to the close.
  for (int order = 0; order < 42; order++) {
    double rms = std::sqrt(energy[order] / double(frames[order] * 2));
    EXPECT_GT(rms, 300.0) << "order " << order;
  }
}

// The mixer stops a voice at the end of a sample without loop: a sample that ends away from
// zero ends with a step, a click on every hit. Every one-shot of the song ends at silence.
TEST(ProductionSong, OneShotSamplesEndAtSilence) {
  Archive a;
  ASSERT_TRUE(a.fs);
  std::vector<uint8_t> xm = ReadMember(*a.fs, "murova.xm");
  ASSERT_FALSE(xm.empty());
  ModuleFileOpsUseMemory();
  MemoryFile file{int(xm.size()), 0, xm.data()};
  Song *song = SongCreate(&file);
  ASSERT_NE(song, nullptr);
  int oneShots = 0;
  for (int i = 0; i < song->instrumentCount; i++) {
    const Instrument &instrument = song->instruments[i];
    for (int k = 0; k < instrument.sampleCount; k++) {
      const Sample *sample = instrument.samples[k];
      if (sample->loopMode != LOOP_NONE || sample->length < 16) continue;
      oneShots++;
      int largest = 0;
      for (uint32_t v = sample->length - 16; v < sample->length; v++)
        largest = std::max(largest, std::abs(int(sample->data[v])));
      EXPECT_LE(largest, 32767 / 100) << "instrument " << i + 1 << ": its last 16 values";
    }
  }
  EXPECT_GE(oneShots, 4);  // kick, snare, hat, crash
  SongDestroy(song);
}

// The same sources give the same archive: two fresh runs match each other and the embedded one.
TEST(ProductionGenerator, IsDeterministic) {
  namespace fs = std::filesystem;
  fs::path base = fs::path(MUROVA_SCRATCH_DIR) / "determinism";
  std::vector<uint8_t> runs[2];
  for (int i = 0; i < 2; i++) {
    fs::path dir = base / std::to_string(i);
    std::string command = std::string("\"") + MUROVA_GENERATOR + "\" --out \"" + dir.string() + "\" --fonts \"" +
                          MUROVA_FONTS + "\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    runs[i] = ReadFile((dir / "murova.pak").string());
    ASSERT_FALSE(runs[i].empty());
  }
  std::error_code ec;
  fs::remove_all(base, ec);
  EXPECT_TRUE(runs[0] == runs[1]);
  ResourceInfo info{};
  ASSERT_TRUE(ResourceFind("FileSystem", 102, &info));
  EXPECT_TRUE(std::vector<uint8_t>(info.data, info.data + info.size) == runs[0]);
}

}  // namespace

// The production's pictures through the host's own loaders, in the order and the kinds the
// production's set-up uses, from the archive the host mounts (the embedded resource 102).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/archive.h"
#include "host/picture.h"
#include "host/pixels.h"
#include "sound/music.h"

namespace {

enum Kind { B, BA, T };

struct Load {
  Kind kind;
  const char *file, *alpha;
  uint32_t width, height;  // 0: any power of two
};

// Set-up's load order, with the sizes the timeline and the effects read.
const Load kLoads[] = {
    {B, "start.jpg", nullptr, 320, 100},        {T, "default.jpg", nullptr, 256, 256},
    {B, "tarsel.jpg", nullptr, 320, 200},       {B, "formule.jpg", nullptr, 640, 400},
    {B, "code.jpg", nullptr, 320, 200},         {B, "music.jpg", nullptr, 320, 200},
    {T, "def2.jpg", nullptr, 256, 256},         {B, "zooi.jpg", nullptr, 320, 1000},
    {B, "scratch.pcx", nullptr, 320, 1600},     {T, "hohoho.jpg", nullptr, 0, 0},
    {BA, "refuse.jpg", "refusea.jpg", 320, 200}, {B, "chago.jpg", nullptr, 320, 200},
    {B, "tekst3.jpg", nullptr, 320, 600},       {B, "tekst4.jpg", nullptr, 320, 600},
    {B, "tekst5.jpg", nullptr, 320, 850},       {B, "sat.jpg", nullptr, 640, 200},
    {T, "water.pcx", nullptr, 256, 256},        {BA, "diurne3.pcx", "diurne3a.pcx", 320, 200},
    {B, "diurne1.jpg", nullptr, 320, 200},      {BA, "meid2.jpg", "meid.jpg", 320, 200},
    {T, "envmap.jpg", nullptr, 0, 0},           {T, "test.jpg", nullptr, 0, 0},
    {T, "lens.jpg", nullptr, 256, 256},             {B, "tekst.jpg", nullptr, 320, 600},
    {B, "tekst2.jpg", nullptr, 320, 600},       {T, "water2.jpg", nullptr, 256, 256},
    {BA, "hebben2.jpg", "hebben1.jpg", 320, 800}, {BA, "heers2.jpg", "heers1.jpg", 320, 200},
    {T, "bot.jpg", nullptr, 0, 0},              {BA, "keers2.jpg", "keers1.jpg", 320, 200},
    {T, "bol.jpg", nullptr, 256, 256},          {T, "bol2.jpg", nullptr, 256, 256},
    {BA, "bert2.jpg", "bert1.jpg", 320, 200},   {B, "frut.jpg", nullptr, 320, 200},
    {B, "einde.jpg", nullptr, 320, 200},
};

class ProductionLoaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(OpenArchive("murova.pak")); }
  static void TearDownTestSuite() { CloseFileSystems(); }
};

TEST_F(ProductionLoaders, EveryPictureLoadsAsTheProductionLoadsIt) {
  for (const Load &l : kLoads) {
    SCOPED_TRACE(l.file);
    Texture t{};
    bool ok = l.kind == T ? TextureLoad(t, l.file)
              : l.kind == BA ? BitmapLoadWithAlpha(t, l.file, l.alpha)
                             : BitmapLoad(t, l.file);
    ASSERT_TRUE(ok);
    if (l.width) {
      EXPECT_EQ(t.width, l.width);
      EXPECT_EQ(t.height, l.height);
    }
    if (l.kind == T) {
      EXPECT_EQ(t.widthMask, int32_t(t.width - 1));
      EXPECT_EQ(t.heightMask, int32_t(t.height - 1));
      EXPECT_EQ(1u << t.widthShift, t.width);
    }
    if (l.kind == BA) {
      // The cut-out: some pixels fully clear, some fully opaque.
      bool clear = false, opaque = false;
      for (uint32_t i = 0; i < t.width * t.height; i++) {
        clear |= (t.pixels[i] >> 24) == 0;
        opaque |= (t.pixels[i] >> 24) == 255;
      }
      EXPECT_TRUE(clear && opaque);
    }
    if (l.kind == T) TextureRelease(t);
    else BitmapRelease(t);
  }
}

TEST_F(ProductionLoaders, TheSongLoadsFromTheArchive) {
  size_t size = 0;
  void *xm = LoadWholeFile("murova.xm", &size);
  ASSERT_NE(xm, nullptr);
  EXPECT_EQ(MusicLoad(xm, int(size)), 0);
  EXPECT_TRUE(MusicFree());
  std::free(xm);
}

}  // namespace

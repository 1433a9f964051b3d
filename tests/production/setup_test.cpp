// The production's set-up against archives made in the test: its failure messages, in load
// order. This program carries no archive of its own, so the host finds "murova.pak" in the
// current directory; each test writes one in a directory of its own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "files/archive_writer.h"
#include "host/cpu.h"
#include "host/offline.h"
#include "images/png_writer.h"

namespace fs = std::filesystem;

namespace {

// Every file the set-up reads, in the order it reads them.
const char* const kLoadOrder[] = {
    "start.jpg",   "default.jpg", "tarsel.jpg",  "formule.jpg", "code.jpg",    "music.jpg",   "def2.jpg",
    "zooi.jpg",    "scratch.pcx", "hohoho.jpg",  "refuse.jpg",  "refusea.jpg", "chago.jpg",   "tekst3.jpg",
    "tekst4.jpg",  "tekst5.jpg",  "sat.jpg",     "water.pcx",   "diurne3.pcx", "diurne3a.pcx", "diurne1.jpg",
    "meid2.jpg",   "meid.jpg",    "envmap.jpg",  "test.jpg",    "lens.jpg",    "tekst.jpg",   "tekst2.jpg",
    "water2.jpg",  "hebben2.jpg", "hebben1.jpg", "heers2.jpg",  "heers1.jpg",  "bot.jpg",     "keers2.jpg",
    "keers1.jpg",  "bol.jpg",     "bol2.jpg",    "bert2.jpg",   "bert1.jpg",   "frut.jpg",    "einde.jpg",
};

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> GreyPng(int width, int height)
{
    std::vector<uint8_t> pixels((size_t)width * height * 3, 0x80), png;
    PngEncode(png, pixels.data(), width, height, width * 3, PngRGB);
    return png;
}

// An archive of the song and the production's own pictures, with some left out or replaced.
class Archive {
public:
    Archive()
    {
        items.push_back({"murova.xm", false, ReadBytes(fs::path(MUROVA_FILES) / "murova.xm")});
        for (const char* name : kLoadOrder)
            items.push_back({name, false, ReadBytes(fs::path(MUROVA_FILES) / name)});
    }
    Archive& Without(const std::string& name)
    {
        std::erase_if(items, [&](const ArchiveItem& item) { return item.path == name; });
        return *this;
    }
    Archive& Replace(const std::string& name, std::vector<uint8_t> data)
    {
        for (ArchiveItem& item : items)
            if (item.path == name)
                item.data = std::move(data);
        return *this;
    }
    ~Archive()
    {
        if (!dir.empty())
            fs::remove_all(dir);
    }
    // Writes murova.pak into a fresh directory, where the production will look for it.
    void Write()
    {
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(ArchiveBuild(items, ArchiveOptions{false, true}, &bytes, &error)) << error;
        std::random_device rd;
        dir = fs::temp_directory_path() / ("murova-setup-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(dir);
        std::ofstream(dir / "murova.pak", std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
    }

    std::vector<ArchiveItem> items;
    fs::path dir;
};

// Starts the production over the archive (in the death test's child) and stops it again.
void StartAndStop(const Archive& archive)
{
    if (chdir(archive.dir.c_str()) != 0)
        std::exit(3);
    OfflineStart(nullptr, nullptr);
    OfflineStop();
    std::exit(0);
}

TEST(SetupDeathTest, WithoutMmxStopsBeforeReadingAnyPicture)
{
    Archive archive;
    for (const char* name : kLoadOrder)
        archive.Without(name);
    archive.Write();
    EXPECT_EXIT(
        {
            HasMmxOverride(0);
            StartAndStop(archive);
        },
        testing::ExitedWithCode(1), "^This demo requires MMX technology\n$");
}

TEST(SetupDeathTest, NamesTheFirstMissingPictureInLoadOrder)
{
    struct Case {
        std::vector<std::string> missing;
        const char* first;
    } cases[] = {
        {{"lens.jpg", "bert2.jpg"}, "lens.jpg"},
        {{"einde.jpg"}, "einde.jpg"},
        {{"keers1.jpg", "refusea.jpg"}, "refusea.jpg"},
        {{"start.jpg", "test.jpg"}, "start.jpg"},
    };
    for (const Case& c : cases) {
        Archive archive;
        for (const std::string& name : c.missing)
            archive.Without(name);
        archive.Write();
        EXPECT_EXIT(StartAndStop(archive), testing::ExitedWithCode(1),
                    std::string("^Can't open image '") + c.first + "'!\n$")
            << c.first;
    }
}

TEST(SetupDeathTest, RefusesPicturesOfTheWrongSize)
{
    struct Case {
        const char* name;
        int width, height;
        const char* message;
    } cases[] = {
        {"default.jpg", 256, 200, "^Texture 'default.jpg' is non-pow2!\n$"},
        {"bol2.jpg", 128, 128, "^Image 'bol2.jpg' is 128x128, smaller than 256x256!\n$"},
        {"chago.jpg", 320, 100, "^Image 'chago.jpg' is 320x100, smaller than 320x200!\n$"},
    };
    for (const Case& c : cases) {
        Archive archive;
        archive.Replace(c.name, GreyPng(c.width, c.height));
        archive.Write();
        EXPECT_EXIT(StartAndStop(archive), testing::ExitedWithCode(1), c.message) << c.name;
    }
}

TEST(SetupDeathTest, TheWholeArchiveSetsUpAndTearsDown)
{
    Archive archive;
    archive.Write();
    EXPECT_EXIT(StartAndStop(archive), testing::ExitedWithCode(0), "");
}

} // namespace

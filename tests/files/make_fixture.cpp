// Writes the small archive that the resource test embeds: make_fixture ARCHIVE
#include <cstdio>
#include <string>

#include "files/archive_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    std::string text = "hello from the resource";
    std::string repeated;
    for (int k = 0; k < 200; k++) repeated += "compressible line " + std::to_string(k % 7) + "\n";
    std::vector<ArchiveItem> items = {
        {"hello.txt", false, std::vector<uint8_t>(text.begin(), text.end())},
        {"dir/inner.txt", false, std::vector<uint8_t>(repeated.begin(), repeated.end())},
    };
    std::vector<uint8_t> archive;
    std::string error;
    if (!ArchiveBuild(items, {true, true}, &archive, &error)) {
        std::fprintf(stderr, "make_fixture: %s\n", error.c_str());
        return 1;
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    bool ok = std::fwrite(archive.data(), 1, archive.size(), f) == archive.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

// Archive writer: builds the whole archive in memory, then writes it out in one go. Runs on the
// calling thread; keeps no state between calls.
#include "files/archive_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "files/archive_check.h"
#include "files/archive_file_system.h"
#include "files/file_system.h"
#include "files/lzss.h"
#include "files/output_file.h"

namespace {

constexpr int MAX_TREE_DEPTH = 32;  // guards against directory links that loop

struct Node {
    std::string stored;                      // as in the entry: directories with a leading "/"
    bool isDirectory = false;
    const std::vector<uint8_t>* data = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    uint32_t blockOffset = 0;                // directories: where their block lies in the header
    std::vector<uint8_t> payload;            // files: the bytes as stored (maybe compressed)
    bool compressed = false;
    uint32_t dataOffset = 0;
};

bool SameName(const std::string& a, const std::string& b)
{
    return ArchiveCompareNames(a.data(), uint32_t(a.size()), b.data(), uint32_t(b.size())) == 0;
}

// Finds or makes the child directory component of parent; false on a clash of case.
bool ChildDirectory(Node* parent, const std::string& component, Node** child, std::string* error)
{
    std::string stored = "/" + component;
    for (auto& c : parent->children) {
        if (!c->isDirectory || !SameName(c->stored, stored)) continue;
        if (c->stored != stored) {
            *error = "directory names differ only in case: '" + c->stored.substr(1) + "' and '" + component + "'";
            return false;
        }
        *child = c.get();
        return true;
    }
    auto node = std::make_unique<Node>();
    node->stored = stored;
    node->isDirectory = true;
    *child = node.get();
    parent->children.push_back(std::move(node));
    return true;
}

bool AddItem(Node* root, const ArchiveItem& item, std::string* error)
{
    std::string_view path(item.path);
    if (!path.empty() && path[0] == '/') path.remove_prefix(1);
    if (!IsValidPath(path, false)) {
        *error = "name refused by the path rules: '" + PrintableName(item.path) + "'";
        return false;
    }
    Node* dir = root;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        std::string component(path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        bool last = slash == std::string_view::npos;
        bool directory = !last || item.isDirectory;
        if (const char* problem = ArchiveNameProblem(component, directory)) {
            *error = std::string("name refused, ") + problem + ": '" + PrintableName(component) + "' in '" +
                     PrintableName(item.path) + "'";
            return false;
        }
        if (directory) {
            if (!ChildDirectory(dir, component, &dir, error)) return false;
        } else {
            for (auto& c : dir->children) {
                if (!c->isDirectory && SameName(c->stored, component)) {
                    *error = "file names collide (case is ignored): '" + item.path + "'";
                    return false;
                }
            }
            auto node = std::make_unique<Node>();
            node->stored = component;
            node->data = &item.data;
            dir->children.push_back(std::move(node));
        }
        if (last) return true;
        start = slash + 1;
    }
}

void SortTree(Node* node)
{
    std::sort(node->children.begin(), node->children.end(), [](const auto& a, const auto& b) {
        if (a->isDirectory != b->isDirectory) return a->isDirectory;
        return ArchiveCompareNames(a->stored.data(), uint32_t(a->stored.size()), b->stored.data(),
                                   uint32_t(b->stored.size())) < 0;
    });
    for (auto& c : node->children)
        if (c->isDirectory) SortTree(c.get());
}

// Gives every directory its block offset, in depth-first order; returns the header's end.
uint64_t PlaceBlocks(Node* dir, uint64_t at)
{
    dir->blockOffset = uint32_t(at);
    at += 4 + uint64_t(ARCHIVE_ENTRY_SIZE) * dir->children.size();
    for (auto& c : dir->children)
        if (c->isDirectory) at = PlaceBlocks(c.get(), at);
    return at;
}

// Prepares every file's stored bytes and gives it its data offset, in depth-first order.
bool PlaceData(Node* dir, const ArchiveOptions& options, uint64_t* at, std::string* error)
{
    for (auto& c : dir->children) {
        if (c->isDirectory) {
            if (!PlaceData(c.get(), options, at, error)) return false;
            continue;
        }
        const std::vector<uint8_t>& data = *c->data;
        if (data.size() > UINT32_MAX) {
            *error = "member larger than 4 GiB: '" + c->stored + "'";
            return false;
        }
        c->payload = data;
        if (options.compress && !data.empty()) {
            std::vector<uint8_t> packed = LzssCompress(data.data(), data.size());
            if (packed.size() < data.size()) {
                c->payload = std::move(packed);
                c->compressed = true;
            }
        }
        if (options.encipher) {
            ArchiveCipher state;
            InitCipher(&state);
            EncipherBytes(c->payload.data(), c->payload.data(), uint32_t(c->payload.size()), &state);
        }
        c->dataOffset = uint32_t(*at);
        *at += c->payload.size();
        if (*at > UINT32_MAX) {
            *error = "archive would be larger than 4 GiB";
            return false;
        }
    }
    return true;
}

void Put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void WriteBlocks(const Node* dir, std::vector<uint8_t>* out)
{
    uint8_t* block = out->data() + dir->blockOffset;
    Put32(block, uint32_t(dir->children.size()));
    for (size_t k = 0; k < dir->children.size(); k++) {
        const Node* c = dir->children[k].get();
        uint8_t* e = block + 4 + k * ARCHIVE_ENTRY_SIZE;
        std::memcpy(e, c->stored.data(), c->stored.size());
        if (c->isDirectory) {
            Put32(e + 76, c->blockOffset);
            WriteBlocks(c, out);
            continue;
        }
        Put32(e + 64, uint32_t(c->data->size()));
        Put32(e + 68, c->compressed ? ARCHIVE_COMPRESSED_LZSS : 0);
        Put32(e + 72, uint32_t(c->payload.size()));  // unread: the bytes the member occupies
        Put32(e + 76, c->dataOffset);
        std::copy(c->payload.begin(), c->payload.end(), out->begin() + c->dataOffset);
    }
}

bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>* data)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    data->clear();
    uint8_t chunk[65536];
    size_t k;
    while ((k = std::fread(chunk, 1, sizeof chunk, f)) != 0) data->insert(data->end(), chunk, chunk + k);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool CollectDirectory(const std::filesystem::path& directory, const std::string& prefix, int depth,
                      std::vector<ArchiveItem>* items, std::string* error)
{
    namespace fs = std::filesystem;
    if (depth > MAX_TREE_DEPTH) {
        *error = "directories nested deeper than 32 levels (a looping link?): '" + prefix + "'";
        return false;
    }
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    if (ec) {
        *error = "cannot list directory '" + directory.string() + "': " + ec.message();
        return false;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        std::string relative = prefix + entry.filename().string();
        if (!IsValidPath(relative, false)) {
            *error = "name refused by the path rules: '" + PrintableName(relative) + "'";
            return false;
        }
        ArchiveItem item;
        item.path = relative;
        if (fs::is_directory(entry, ec)) {
            item.isDirectory = true;
            items->push_back(std::move(item));
            if (!CollectDirectory(entry, relative + "/", depth + 1, items, error)) return false;
        } else if (fs::is_regular_file(entry, ec)) {
            if (!ReadFile(entry, &item.data)) {
                *error = "cannot read file '" + entry.string() + "'";
                return false;
            }
            items->push_back(std::move(item));
        } else {
            *error = "neither a file nor a directory: '" + PrintableName(entry.string()) + "'";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ArchiveBuild(const std::vector<ArchiveItem>& items, const ArchiveOptions& options,
                  std::vector<uint8_t>* archive, std::string* error)
{
    Node root;
    root.isDirectory = true;
    for (const ArchiveItem& item : items)
        if (!AddItem(&root, item, error)) return false;
    SortTree(&root);
    uint64_t headerEnd = PlaceBlocks(&root, 16);
    uint64_t headerSize = std::max<uint64_t>(headerEnd, ARCHIVE_MIN_HEADER);
    uint64_t end = headerSize;
    if (headerSize > UINT32_MAX) {
        *error = "archive would be larger than 4 GiB";
        return false;
    }
    if (!PlaceData(&root, options, &end, error)) return false;

    archive->assign(end, 0);
    std::memcpy(archive->data(), ARCHIVE_MAGIC, sizeof ARCHIVE_MAGIC);
    Put32(archive->data() + 12, uint32_t(headerSize));
    WriteBlocks(&root, archive);
    if (options.encipher) {
        ArchiveCipher state;
        InitCipher(&state);
        EncipherBytes(archive->data(), archive->data(), uint32_t(headerSize), &state);
    }
    return true;
}

bool ArchiveCollectTree(const std::string& directory, std::vector<ArchiveItem>* items, std::string* error)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(directory, ec)) {
        *error = "not a directory: '" + directory + "'";
        return false;
    }
    items->clear();
    return CollectDirectory(directory, "", 0, items, error);
}

bool ArchiveWriteTree(const std::string& directory, const std::string& archivePath,
                      const ArchiveOptions& options, std::string* error)
{
    std::vector<ArchiveItem> items;
    std::vector<uint8_t> archive;
    if (!ArchiveCollectTree(directory, &items, error)) return false;
    if (!ArchiveBuild(items, options, &archive, error)) return false;

    return OutputFileSave(archivePath, archive.data(), archive.size(), error);
}

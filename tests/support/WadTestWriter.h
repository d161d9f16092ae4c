// A small archive writer for the tests: lays out a directory tree the way archives hold it
// (root first; each directory followed by its sub-directories, each whole, then its files).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct WadTree
{
    std::string name;
    std::vector<WadTree> directories;
    std::vector<std::pair<std::string, std::string>> files; // name, contents
};

inline void WadPut32(std::string &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

inline void WadPut16(std::string &out, uint32_t v)
{
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

// Header layouts: the 16-byte one of version 0x0100 (N, F, D), the 20-byte one of version
// 0x0101 (flags, N, F, D), and a 20-byte one holding N, F, D and a spare word. ByVersion picks
// the layout the version calls for (the 16-byte one for 0x0100 only).
enum class WadHeader
{
    ByVersion,
    Short,
    Long,
    ShortPadded,
};

inline std::string BuildWad(const WadTree &root, uint16_t version = 0x0101, uint32_t flags = 0,
                            WadHeader header = WadHeader::ByVersion)
{
    if (header == WadHeader::ByVersion)
        header = version == 0x0100 ? WadHeader::Short : WadHeader::Long;
    struct Entry
    {
        uint32_t nameOffset, a, b;
        const std::string *contents; // files only
    };
    std::string names;
    std::vector<Entry> entries;
    uint32_t fileCount = 0, directoryCount = 0;
    auto addName = [&](const std::string &name)
    {
        uint32_t offset = static_cast<uint32_t>(names.size());
        names += name;
        names += '\0';
        return offset;
    };
    auto walk = [&](auto &self, const WadTree &dir) -> void
    {
        entries.push_back({addName(dir.name), static_cast<uint32_t>(dir.files.size()),
                           static_cast<uint32_t>(dir.directories.size()), nullptr});
        ++directoryCount;
        for (const WadTree &sub : dir.directories)
            self(self, sub);
        for (const auto &file : dir.files)
        {
            entries.push_back(
                {addName(file.first), static_cast<uint32_t>(file.second.size()), 0, &file.second});
            ++fileCount;
        }
    };
    walk(walk, root);
    const uint32_t headerSize = header == WadHeader::Short ? 16 : 20;
    uint32_t dataAt = headerSize + static_cast<uint32_t>(names.size()) +
                      16 * static_cast<uint32_t>(entries.size());
    std::string data;
    for (Entry &e : entries)
    {
        if (!e.contents)
            continue;
        e.b = dataAt + static_cast<uint32_t>(data.size());
        data += *e.contents;
    }
    std::string out;
    WadPut16(out, 0x1234);
    WadPut16(out, version);
    if (header == WadHeader::Long)
        WadPut32(out, flags);
    WadPut32(out, static_cast<uint32_t>(names.size()));
    WadPut32(out, fileCount);
    WadPut32(out, directoryCount);
    if (header == WadHeader::ShortPadded)
        WadPut32(out, 0);
    out += names;
    for (const Entry &e : entries)
    {
        WadPut32(out, e.nameOffset);
        WadPut32(out, e.a);
        WadPut32(out, e.b);
        WadPut32(out, 0);
    }
    out += data;
    return out;
}

// Hand-made container and archive bytes for the tests: built field by field from the on-disk
// layout, independently of the library's writer, so that the reader can be given exactly the
// damage a test is about and the writer's output can be compared with an independent layout.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace npl::test {

using Bytes = std::vector<std::uint8_t>;

inline void PutU16(Bytes& out, std::uint16_t v)
{
    for (int i = 0; i < 2; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutU32(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutU64(Bytes& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline std::uint64_t GetU64(const Bytes& bytes, std::size_t at)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | bytes.at(at + static_cast<std::size_t>(i));
    return v;
}
inline std::uint32_t GetU32(const Bytes& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | bytes.at(at + static_cast<std::size_t>(i));
    return v;
}

/// The 64-byte file header; `rootLength` goes to bytes 56 to 63.
inline Bytes FileHeaderBytes(std::uint32_t typeId = 0x02000400, const std::string& description = "TOVRA-Archive file",
    std::uint64_t rootLength = 0)
{
    Bytes out;
    PutText(out, std::string("Norva\x1a\0\0", 8));
    PutU32(out, typeId);
    PutU32(out, 0);
    std::string text = description.substr(0, 32);
    text.resize(32, '\0');
    PutText(out, text);
    PutU64(out, 0);
    PutU64(out, rootLength);
    return out;
}

/// A record: 8-byte id, the stated length, then `data` (whose size may differ from the stated
/// length when a test wants a lying header).
inline Bytes RecordBytes(const std::string& id, const Bytes& data, std::uint64_t statedLength)
{
    Bytes out;
    PutText(out, id.substr(0, 8));
    PutU64(out, statedLength);
    Append(out, data);
    return out;
}
inline Bytes RecordBytes(const std::string& id, const Bytes& data) { return RecordBytes(id, data, data.size()); }

/// One entry of a "DirEntry" record.
struct EntryBytes {
    std::uint64_t length = 0;
    std::uint32_t attribute = 0;
    std::uint32_t encodeType = 0;
    std::uint64_t dataOffset = 0;
    std::uint8_t time[6] = {};
    std::uint16_t year = 0;
    std::string extra;
    /// Name bytes as stored, terminator included when wanted.
    std::string name;
    /// Stated name length; -1: the size of `name`.
    std::int64_t nameLength = -1;
    /// Stated extra-information length; -1: the size of `extra`.
    std::int64_t extraLength = -1;
};

inline Bytes EntryFieldBytes(const EntryBytes& entry)
{
    Bytes out;
    PutU64(out, entry.length);
    PutU32(out, entry.attribute);
    PutU32(out, entry.encodeType);
    PutU64(out, entry.dataOffset);
    for (std::uint8_t b : entry.time)
        out.push_back(b);
    PutU16(out, entry.year);
    PutU32(out,
        entry.extraLength < 0 ? static_cast<std::uint32_t>(entry.extra.size())
                              : static_cast<std::uint32_t>(entry.extraLength));
    PutText(out, entry.extra);
    PutU32(out,
        entry.nameLength < 0 ? static_cast<std::uint32_t>(entry.name.size())
                             : static_cast<std::uint32_t>(entry.nameLength));
    PutText(out, entry.name);
    return out;
}

/// Data of a "DirEntry" record: the count (by default the number of entries), then the entries.
inline Bytes DirEntryData(const std::vector<EntryBytes>& entries, std::int64_t count = -1)
{
    Bytes out;
    PutU32(out, count < 0 ? static_cast<std::uint32_t>(entries.size()) : static_cast<std::uint32_t>(count));
    for (const EntryBytes& entry : entries)
        Append(out, EntryFieldBytes(entry));
    return out;
}

/// A node of a well-formed tree: a file with content, or a directory with children.
struct Node {
    std::string name;
    bool directory = false;
    Bytes content;
    std::vector<Node> children;
};

inline Node FileNode(const std::string& name, const std::string& content)
{
    return Node { name, false, Bytes(content.begin(), content.end()), {} };
}
inline Node DirectoryNode(const std::string& name, std::vector<Node> children)
{
    return Node { name, true, {}, std::move(children) };
}

/// The records of one directory level, entries listed in the given order, their "filedata"
/// records following in the same order with the data offsets worked out.
inline Bytes LevelBytes(const std::vector<Node>& nodes)
{
    std::vector<Bytes> bodies;
    for (const Node& node : nodes)
        bodies.push_back(node.directory ? LevelBytes(node.children) : node.content);
    std::vector<EntryBytes> entries;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        EntryBytes entry;
        entry.name = nodes[i].name + std::string(1, '\0');
        entry.attribute = nodes[i].directory ? 0x10 : 0;
        entry.length = nodes[i].directory ? 0 : nodes[i].content.size();
        entries.push_back(entry);
    }
    std::uint64_t offset = 16 + DirEntryData(entries).size();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        entries[i].dataOffset = offset;
        offset += 16 + bodies[i].size();
    }
    Bytes out = RecordBytes("DirEntry", DirEntryData(entries));
    for (const Bytes& body : bodies)
        Append(out, RecordBytes("filedata", body));
    return out;
}

/// A whole archive: header (with the root length filled in) and the root level.
inline Bytes ArchiveBytes(const std::vector<Node>& root)
{
    Bytes level = LevelBytes(root);
    Bytes out = FileHeaderBytes(0x02000400, "TOVRA-Archive file", level.size());
    Append(out, level);
    return out;
}

/// A whole archive whose root level is `level` as given.
inline Bytes ArchiveWithRootLevel(const Bytes& level)
{
    Bytes out = FileHeaderBytes(0x02000400, "TOVRA-Archive file", level.size());
    Append(out, level);
    return out;
}

} // namespace npl::test

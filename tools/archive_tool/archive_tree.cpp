#include "tools/archive_tool/archive_tree.h"

#include <cstdio>

#include "tools/archive_tool/path_text.h"

namespace archive_tool {

namespace {

// The path of a folder for messages: "the root folder" or "the folder a/b".
std::string Where(const std::string& displayPath)
{
    return displayPath.empty() ? "the root folder" : "the folder " + displayPath;
}

std::string Inner(const std::string& displayPath, const std::string& name, const EntryNameCodec& codec)
{
    return displayPath.empty() ? DisplayEntryName(name, codec) : displayPath + "/" + DisplayEntryName(name, codec);
}

bool ReadLevel(TOVRAArchive& archive, const EntryNameCodec& codec, std::vector<ArchiveEntry>& entries,
    const std::string& path, ArchiveTree& tree, std::string& error)
{
    // The archive's own list is read in place: a copy would cost a few heap blocks per entry.
    const TOVRAArchive::EDirectory* list = archive.GetCurrentDirectory();
    if (list == nullptr) {
        error = "the list of " + Where(path) + " cannot be read";
        return false;
    }
    entries.reserve(list->GetCount());
    for (std::uint32_t i = 0; i < list->GetCount(); ++i) {
        const FileInfo* info = list->GetInfo(i);
        if (info == nullptr)
            continue;
        ArchiveEntry entry;
        entry.name = info->GetName();
        entry.length = info->length;
        entry.attribute = info->attribute;
        entry.encodeType = info->encodeType;
        entry.time = ToEntryTime(info->time);
        if (entry.IsFolder()) {
            ++tree.folderCount;
        } else {
            ++tree.fileCount;
            tree.totalBytes += entry.length;
        }
        entries.push_back(std::move(entry));
    }
    for (ArchiveEntry& entry : entries) {
        if (!entry.IsFolder())
            continue;
        std::string inner = Inner(path, entry.name, codec);
        if (archive.DescendDirectory(entry.name.c_str(), nullptr) != 0) {
            error = "the folder " + inner + " is damaged or nested too deep";
            return false;
        }
        bool ok = ReadLevel(archive, codec, entry.children, inner, tree, error);
        archive.AscendDirectory();
        if (!ok)
            return false;
    }
    return true;
}

bool CheckLevel(
    const std::vector<ArchiveEntry>& entries, const std::string& path, const EntryNameCodec& codec, std::string& error)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ArchiveEntry& entry = entries[i];
        NameProblem problem = CheckEntryName(entry.name, codec.CodePage());
        if (problem == NameProblem::None && !codec.ToFileName(entry.name))
            problem = NameProblem::BrokenText;
        if (problem != NameProblem::None) {
            error = "unsafe entry name \"" + DisplayEntryName(entry.name, codec) + "\" in " + Where(path) + ": it "
                + DescribeNameProblem(problem);
            if (problem == NameProblem::BrokenText && codec.CodePage() == kNamesShiftJis)
                error += " (try --names utf-8)";
            return false;
        }
        // The archive finds entries by name with ASCII case folded, so equal names cannot be
        // told apart; on Windows they would also be one file.
        if (i > 0 && CompareEntryNames(entries[i - 1].name, entry.name) == 0) {
            error = "the entry name \"" + DisplayEntryName(entry.name, codec) + "\" occurs twice in " + Where(path);
            return false;
        }
    }
    for (const ArchiveEntry& entry : entries) {
        if (entry.IsFolder() && !CheckLevel(entry.children, Inner(path, entry.name, codec), codec, error))
            return false;
    }
    return true;
}

} // namespace

bool OpenedArchive::Open(const std::string& path, std::string& error)
{
    if (file_.Open(path.c_str(), NPLFileObject::modeRead | NPLFileObject::modeShareRead) != 0) {
        std::error_code ec;
        std::optional<std::filesystem::path> fsPath = PathFromArgument(path);
        bool exists = fsPath && std::filesystem::exists(*fsPath, ec);
        error = "cannot open " + path + (exists ? "" : ": no such file");
        return false;
    }
    if (archive_.Open(&file_, nullptr) != 0) {
        error = path + " is not an archive or is damaged";
        return false;
    }
    return true;
}

bool ReadArchiveTree(TOVRAArchive& archive, const EntryNameCodec& codec, ArchiveTree& tree, std::string& error)
{
    tree = ArchiveTree {};
    return ReadLevel(archive, codec, tree.entries, "", tree, error);
}

bool CheckArchiveNames(const ArchiveTree& tree, const EntryNameCodec& codec, std::string& error)
{
    return CheckLevel(tree.entries, "", codec, error);
}

std::string DisplayEntryName(const std::string& name, const EntryNameCodec& codec)
{
    std::string shown;
    std::optional<std::u16string> text = codec.ToFileName(name);
    std::string bytes = text ? DisplayText(*text) : name;
    bool decoded = text.has_value();
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte == '"' || (!decoded && byte >= 0x80)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", unsigned { byte });
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string EncodeTypeName(std::uint32_t encodeType)
{
    switch (encodeType) {
    case 0x00000000:
        return "raw";
    case 0x80000010:
        return "tovra_code";
    case 0x40000000:
        return "bshf_crypt";
    case 0xC0000010:
        return "tovra_crypt";
    default:
        break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(encodeType));
    return text;
}

EntryTime ToEntryTime(const FileTime& time)
{
    return EntryTime { time.second, time.minute, time.hour, time.dayOfWeek, time.day, time.month, time.year };
}

FileTime ToFileTime(const EntryTime& time)
{
    FileTime stamp;
    stamp.second = time.second;
    stamp.minute = time.minute;
    stamp.hour = time.hour;
    stamp.dayOfWeek = time.dayOfWeek;
    stamp.day = time.day;
    stamp.month = time.month;
    stamp.year = time.year;
    return stamp;
}

} // namespace archive_tool

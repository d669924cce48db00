// The archive: a record container holding a tree of named entries. Each directory level is a
// "DirEntry" record listing its entries, followed by one "filedata" record per entry; a
// sub-directory's "filedata" record holds that sub-directory's own level. The archive keeps a
// current directory; while an entry is open, the file operations act on its content.
#pragma once

#include <cstdint>

#include "archive/file_info.h"
#include "archive/udv_file.h"
#include "npl/ptr_array.h"
#include "npl/string.h"

class TOVRAArchive : public UDVFile {
    NPL_DECLARE_CLASS(UDVFile)

public:
    class EFileName;
    class EDirectory;

    /// File type id in the container header of every archive.
    static constexpr std::uint32_t FileTypeId = 0x02000400;
    /// Sub-directory levels below the root that the archive enters or creates. Deeper trees
    /// are refused (DescendDirectory gives 1), so a damaged file cannot make a walk recurse
    /// without end; tools walking an archive may rely on this bound.
    static constexpr std::uint32_t MaxDirectoryDepth = 64;
    /// Ids of the records of a directory level (8 bytes each; the terminator is not stored).
    static constexpr char DirEntryId[9] = "DirEntry";
    static constexpr char FileDataId[9] = "filedata";
    /// Size of an entry of the "DirEntry" record without its extra information and name.
    static constexpr std::uint32_t MinimumEntrySize = 40;

    /// A closed archive.
    TOVRAArchive();
    /// Closes the archive; a created archive is finished.
    ~TOVRAArchive() override;

    /// Opens the archive over `file`, which the caller keeps open until Close; the root
    /// directory becomes current.
    /// - `entryList` null, or no modeCreate in the file's mode: an existing archive is read from
    ///   the file's current position. 1 when the header is wrong, the root level does not begin
    ///   with a "DirEntry" record, or that record is damaged (a count, length or data offset
    ///   that does not fit in it).
    /// - otherwise a new archive is created, with the entries of `entryList` (copied; the list
    ///   stays the caller's) as its root directory. 1 when the header or the first directory
    ///   list cannot be written.
    [[nodiscard]] int Open(NPLFileObject* file, const EDirectory* entryList);
    /// Closes an open entry, finishes every directory level (a created archive gets its final
    /// directory lists and record lengths) and closes the container. The file stays open.
    void Close();

    /// Adds copies of the current directory's entries to `list` (entries of the same name are
    /// replaced). 1 when no directory is current or memory runs out, else 0.
    [[nodiscard]] int GetFileEntries(EDirectory* list) const;

    /// Makes the sub-directory entry `name` (case of ASCII letters ignored) of the current
    /// directory current. Reading: `entryList` is null. Writing: `entryList` holds the
    /// sub-directory's entries, and its level is started. 1 for no current directory, no such
    /// entry, an entry that is not a directory, a level beyond MaxDirectoryDepth, or a
    /// sub-directory record that cannot be entered or is damaged; the archive then stays where
    /// it was. An open entry is closed first.
    [[nodiscard]] int DescendDirectory(const char* name, const EDirectory* entryList);
    /// Makes the parent directory current, finishing the level when it was written. 1 when a
    /// directory being written cannot be stored (it then stays current), else 0. At the root
    /// it does nothing and returns 0. An open entry is closed first.
    int AscendDirectory();

    /// Opens the file entry `name` (case of ASCII letters ignored) of the current directory.
    /// Reading: afterwards Read delivers its content, at most its length. Writing: afterwards
    /// Write appends its content. `password` and `streaming` are for coded entries. 1 for no
    /// current directory, no such entry, a directory entry, an entry record that cannot be
    /// entered, stored content shorter than the entry's length, or an encode type that cannot
    /// be opened. An open entry is closed first.
    [[nodiscard]] int OpenEntry(const char* name, const char* password, std::uint32_t streaming);
    /// Closes the open entry; when writing, its length is recorded. 0 (also with no entry open).
    int CloseEntry();

    /// Called while an entry is decoded in full, with the bytes done and the total; a result
    /// other than 0 stops the decoding, and OpenEntry returns it. This class returns 0.
    virtual int OnProgress(std::uint32_t done, std::uint32_t total);

    /// While an entry is open: its content, read up to the entry's length. Otherwise: the
    /// current directory's record.
    [[nodiscard]] NPLFileObject* Duplicate() override;
    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    std::uint32_t GetLength() override;
    std::uint64_t GetLargeLength() override;
    /// A new container (owned by the caller) reading the stored bytes of the entry `name` of
    /// the current directory, without decoding; null when there is none or it cannot be made.
    /// The archive's current directory and open entry do not change.
    [[nodiscard]] NPLFileObject* OpenRelative(const char16_t* name, std::uint32_t mode) override;

    /// The current directory; null while closed.
    [[nodiscard]] const EDirectory* GetCurrentDirectory() const { return directory_; }
    /// Sub-directory levels below the root of the current directory (0 at the root).
    [[nodiscard]] std::uint32_t GetDirectoryDepth() const { return depth_; }
    /// The open entry; null when none is open.
    [[nodiscard]] const FileInfo* GetOpenEntry() const { return openEntry_; }
    /// True while the archive is being created.
    [[nodiscard]] bool IsWriting() const;

private:
    /// Reads the directory level whose record the container stands at the start of, and makes
    /// it current with the given parent. 0, or 1 with nothing pushed.
    int ReadDirectoryLevel();
    /// Enters the record of an entry of the current directory, at its data offset. 0 or 1.
    int EnterEntryRecord(const FileInfo& info);
    /// Writes the current directory as its "DirEntry" record at the container's position.
    int WriteDirectory();
    int OpenArchiveForWriting(NPLFileObject* file, const EDirectory* entryList);
    int DescendDirectoryForWriting(const char* name, const EDirectory* entryList);
    int OpenEntryForWriting(const char* name);
    /// Makes the parent of the current directory current and destroys the finished level.
    void PopDirectory();

    EDirectory* directory_ = nullptr;
    FileInfo* openEntry_ = nullptr;
    std::uint32_t depth_ = 0;
};

/// An entry name with the entry's FileInfo, which it owns.
class TOVRAArchive::EFileName : public EString {
    NPL_DECLARE_CLASS(EString)

public:
    /// Takes ownership of `info`; the name is a copy of `name`.
    EFileName(const char* name, FileInfo* info);
    /// Destroys the FileInfo with the name.
    ~EFileName() override;

    [[nodiscard]] FileInfo* GetInfo() const { return info_; }

private:
    FileInfo* info_;
};

/// A directory list: entries (TOVRAArchive::EFileName) in ascending name order, compared with
/// ASCII letters folded to upper case and every other byte as an unsigned value. It owns its
/// entries. The same class is the caller's list of entries for GetFileEntries and for creating
/// archives. It has no class identity of its own and answers as "EPtrArray".
class TOVRAArchive::EDirectory : public EObjectList<TOVRAArchive::EFileName> {
public:
    EDirectory() = default;

    /// The entry whose name equals `entryName` in the name order (case of ASCII letters
    /// ignored), or null. With several of that name (possible only in a damaged archive), any
    /// one of them.
    [[nodiscard]] FileInfo* FindEntry(const char* entryName) const;
    /// Files a copy of every entry of `source` that has a FileInfo under its name: an entry of
    /// the same name here is replaced, otherwise the copy is inserted in name order. 0, or 1
    /// when memory runs out (the entries copied so far stay).
    [[nodiscard]] int AddEntries(const EDirectory* source);
    /// Files a copy of `info` under its name in the same way. Adding in ascending name order
    /// appends at the end at constant cost; other orders move the entries behind the new one.
    /// 0, or 1 when memory runs out.
    [[nodiscard]] int AddEntry(const FileInfo& info);
    /// The FileInfo of the element at `index` in name order, or null beyond the count.
    [[nodiscard]] FileInfo* GetInfo(std::uint32_t index) const;

    /// The directory's entry name; empty for the root and for callers' lists.
    EString name;
    /// The directory above; null for the root and for callers' lists.
    EDirectory* parent = nullptr;
    /// 1 while the directory is being written.
    std::uint32_t writing = 0;

private:
    friend class TOVRAArchive;
    /// Files `info` (taking ownership) under its name. `replace`: an entry of that name is
    /// replaced; otherwise equal names are all kept, the new one after them. 0, or 1 when memory
    /// runs out (`info` is then destroyed).
    int File(FileInfo* info, bool replace);
};

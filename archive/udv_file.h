// The record container: a file object layered on another one that gives it a 64-byte file
// header and a tree of records (an 8-byte id, a 64-bit data length, the data). Inside a
// record, reads, writes, seeks and lengths are those of the record's data alone.
#pragma once

#include <cstdint>

#include "file/file_object.h"

/// The 16-byte header in front of every record's data.
struct RecordHeader {
    char id[8] = {}; ///< compared as raw bytes; no terminating zero
    std::uint64_t length = 0; ///< data bytes after the header; all ones in a file: up to its end
};

/// The 64-byte file header, in memory. On disk every number is little-endian.
struct FileHeader {
    char magic[8] = {};
    std::uint32_t fileTypeId = 0;
    std::uint32_t reserved = 0; ///< 0 in every valid file
    char description[32] = {}; ///< zero-filled; not necessarily zero-terminated
    RecordHeader root; ///< written when a created container closes; ignored by readers
};

/// One entered record. The container owns these; each points to its parent's.
struct RecordInfo {
    RecordInfo* parent = nullptr;
    std::uint32_t writing = 0; ///< 1 while the record is being written
    std::uint64_t dataStart = 0; ///< absolute position of the first data byte in the underlying file
    RecordHeader header; ///< while writing, the length is the furthest position reached
};

class UDVFile : public NPLFileObject {
    NPL_DECLARE_CLASS(NPLFileObject)

public:
    static constexpr std::uint32_t FileHeaderSize = 64;
    static constexpr std::uint32_t RecordHeaderSize = 16;
    /// All bits set in a stored record length: the record runs to the end of the file.
    static constexpr std::uint64_t LengthToEndOfFile = ~std::uint64_t { 0 };

    /// A closed container.
    UDVFile();
    /// Closes the container (finishing records being written); the underlying file stays open.
    ~UDVFile() override;

    /// Fills `header` for creating a container: the magic, `fileTypeId`, a zero reserved field
    /// and `description` (at most 41 characters, zero-filled up to byte 63). A null
    /// `description` selects the default text of the file type (see DefaultDescription).
    static void SetFileHeader(FileHeader* header, std::uint32_t fileTypeId, const char* description);
    /// The description that SetFileHeader uses for `fileTypeId` when none is given.
    static const char* DefaultDescription(std::uint32_t fileTypeId);

    /// Opens the container over `file`, which the caller keeps open until Close. With `header`
    /// non-null and modeCreate in the file's mode, the header is written at the file's current
    /// position and the container is created for writing; otherwise the header is read from the
    /// current position and the container is opened for reading (`header` is then ignored).
    /// Either way the root record is entered. 0 on success; 1 when the header cannot be written
    /// or read whole, or the magic or reserved field is wrong.
    [[nodiscard]] int Open(NPLFileObject* file, const FileHeader* header);
    /// Finishes every entered record (record lengths of a container being written are stored,
    /// the root's into the file header) and releases the container. Safe on a closed container.
    void Close();

    /// Enters the next record of the current one (`recordId`: 8 bytes, or null for any id).
    /// Writing: a header with length 0 goes at the underlying file's position. Reading: records
    /// from the current position on are skipped until the id matches. Fails (1) without entering
    /// anything when no such record follows, or when a record read does not fit in the current
    /// record (its length runs past its parent's end, or a record to be skipped runs to the end
    /// of the file).
    [[nodiscard]] virtual int DescendRecord(const char* recordId);
    /// Leaves the current record (storing its length when it was written) and stands just after
    /// it in the parent. Always 0; nothing happens when no record is entered.
    virtual int AscendRecord();

    /// The file operations, relative to the current record's data.
    [[nodiscard]] NPLFileObject* Duplicate() override;
    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    std::uint32_t GetLength() override;
    std::uint32_t Seek(std::int32_t offset, std::uint32_t origin) override;
    std::uint32_t GetPosition() override;
    int SetEndOfFile() override;
    std::uint64_t GetLargeLength() override;
    std::uint64_t SeekLarge(std::int64_t offset, std::uint32_t origin) override;
    std::uint64_t GetLargePosition() override;

    /// The header as read by Open in reading mode.
    const FileHeader& GetFileHeader() const { return header_; }
    /// The current record, or null while no record is entered.
    const RecordInfo* GetCurrentRecord() const { return record_; }
    /// Records entered, the root included; 0 while closed.
    std::uint32_t GetRecordDepth() const;
    /// The file the container is layered on; null while closed.
    NPLFileObject* GetUnderlyingFile() const { return file_; }

protected:
    /// Clamp of reads and writes in reading mode: the bytes left in the current record.
    std::uint64_t RecordBytesLeft();
    /// Pushes a record; 1 when no memory is left for its bookkeeping.
    int PushRecord(std::uint32_t writing, std::uint64_t dataStart, const RecordHeader& header);
    void PopRecord();

    NPLFileObject* file_ = nullptr; ///< not owned
    NPLFileObject* ownedFile_ = nullptr; ///< set only in a duplicate; destroyed by Close
    RecordInfo* record_ = nullptr;
    FileHeader header_;
};

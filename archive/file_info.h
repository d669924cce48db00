// One archive directory entry as held in memory: its fixed fields, and the name and extra
// information in buffers of the global library heap that the entry owns.
#pragma once

#include <cstddef>
#include <cstdint>

/// An entry's time stamp, as stored: one byte per field, then the year.
struct FileTime {
    std::uint8_t second = 0;
    std::uint8_t minute = 0;
    std::uint8_t hour = 0;
    std::uint8_t dayOfWeek = 0; ///< 0 = Sunday
    std::uint8_t day = 0; ///< day of the month
    std::uint8_t month = 0; ///< 1 to 12
    std::uint16_t year = 0; ///< for example 2012
};

class FileInfo {
public:
    /// Attribute bit of a directory entry; every other bit is carried unchanged.
    static constexpr std::uint32_t AttributeDirectory = 0x10;
    /// Encode type of content stored unchanged.
    static constexpr std::uint32_t EncodeRaw = 0;

    /// A zeroed entry: no name, no extra information.
    FileInfo() = default;
    /// Copying goes through CopyFrom, whose result says whether the buffers could be copied.
    FileInfo(const FileInfo&) = delete;
    FileInfo& operator=(const FileInfo&) = delete;
    /// Takes over the buffers of `other`, which is left without name and extra information.
    FileInfo(FileInfo&& other) noexcept;
    FileInfo& operator=(FileInfo&& other) noexcept;
    /// Frees both buffers.
    ~FileInfo();

    /// Instances live in the global library heap; null when it yields no block.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    /// Becomes a copy of `source`: the fixed fields, and own copies of both buffers. 0, or 1
    /// when the heap yields no block (this entry is then left without name and extra
    /// information, its fixed fields copied).
    [[nodiscard]] int CopyFrom(const FileInfo& source);
    /// Stores a zero-terminated text as the name (null: no name). The name length becomes the
    /// text length + 1. 0, or 1 when the heap yields no block (the entry then has no name).
    [[nodiscard]] int SetName(const char* name);
    /// Stores a copy of `size` bytes as the extra information (0 or null: none). 0, or 1 when
    /// the heap yields no block (the entry then has none).
    [[nodiscard]] int SetExtraInfo(const void* data, std::uint32_t size);

    /// The name, never null: an empty text when there is none.
    [[nodiscard]] const char* GetName() const { return name_ != nullptr ? name_ : ""; }
    /// Bytes of the stored name including its terminator; 0 when there is none.
    [[nodiscard]] std::uint32_t GetNameLength() const { return nameLength_; }
    /// The extra information; null when there is none.
    [[nodiscard]] const std::uint8_t* GetExtraInfo() const { return extraInfo_; }
    [[nodiscard]] std::uint32_t GetExtraInfoLength() const { return extraInfoLength_; }
    [[nodiscard]] bool IsDirectory() const { return (attribute & AttributeDirectory) != 0; }

    /// Content bytes after decoding (for a directory: the value its creator gave).
    std::uint64_t length = 0;
    std::uint32_t attribute = 0;
    std::uint32_t encodeType = 0;
    /// Position of the entry's record header, counted from the first data byte of the record
    /// that holds its directory level.
    std::uint64_t dataOffset = 0;
    FileTime time;

private:
    void FreeName();
    void FreeExtraInfo();

    std::uint32_t extraInfoLength_ = 0;
    std::uint8_t* extraInfo_ = nullptr;
    std::uint32_t nameLength_ = 0;
    char* name_ = nullptr;
};

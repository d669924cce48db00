// A file object whose bytes live in one growable block of the global library heap.
#pragma once

#include <cstdint>

#include "file/file_object.h"

/// Open with mode 7 (create, read, write) after Create, closed (mode 0) otherwise. An open
/// memory file owns its block; position <= length <= capacity while it is open. Lengths and
/// positions are 32-bit; the 64-bit operations are the widened defaults.
class EMemoryFile : public NPLFileObject {
    NPL_DECLARE_CLASS(NPLFileObject)

public:
    /// A closed memory file: no block, length, position and capacity 0.
    EMemoryFile() = default;
    /// Closes the file.
    ~EMemoryFile() override;

    /// Discards any contents and opens the file empty, with a block of `capacity` bytes (not
    /// cleared). Returns 0. When the heap yields no block the capacity is 0 and the file
    /// behaves as empty until a write allocates one.
    int Create(std::uint32_t capacity);
    /// Releases the block of an open file; the file is closed (mode 0) afterwards.
    void Close();

    /// An independent open copy of this file's bytes (capacity = their count), positioned at
    /// 0. Null when the heap yields no object or no block for the bytes.
    [[nodiscard]] NPLFileObject* Duplicate() override;
    /// Copies up to `count` bytes from the position on; 0 at or beyond the end.
    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    /// Copies `count` bytes to the position, extending the length as needed. When the block
    /// must grow it becomes (new end + count) rounded up to 4,096 bytes, so a run of writes
    /// reallocates rarely. Returns `count`; 0 with the file unchanged when the file is closed,
    /// the block cannot grow, or the end would lie beyond 32 bits.
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    std::uint32_t GetLength() override { return length_; }
    /// Moves to `offset` from the beginning, the position or the end (another origin leaves
    /// the position as it is); a target below 0 becomes 0. An open file grows to a target
    /// beyond its length (the new bytes are not cleared); a closed one lets the position lie
    /// beyond. Returns the new position; 0 with the position unchanged when the target lies
    /// beyond 32 bits or the block cannot grow to it.
    std::uint32_t Seek(std::int32_t offset, std::uint32_t origin) override;
    std::uint32_t GetPosition() override { return position_; }
    /// Cuts the length to the position (the block keeps its size): 0. A closed file is not
    /// cut: 1.
    int SetEndOfFile() override;

    /// Bytes the block holds.
    [[nodiscard]] std::uint32_t GetCapacity() const { return capacity_; }
    /// The bytes; null when there is no block.
    [[nodiscard]] const std::uint8_t* GetData() const { return buffer_; }

private:
    /// Makes the block at least `size` bytes, asking for `request` bytes. False when the heap
    /// refuses; the block then stays as it was.
    bool Reserve(std::uint64_t size, std::uint64_t request);

    std::uint8_t* buffer_ = nullptr;
    std::uint32_t length_ = 0;
    std::uint32_t position_ = 0;
    std::uint32_t capacity_ = 0;
};

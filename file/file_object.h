// The library's abstract random-access byte stream, with 32-bit and 64-bit lengths and
// positions. Failure travels by value: short counts, 0 for a length or position, 1 for a
// failed operation, null for an object that could not be made.
#pragma once

#include <cstdint>

#include "npl/object.h"
#include "npl/platform/recursive_lock.h"

class NPLFileObject : public NPLObject {
    NPL_DECLARE_CLASS(NPLObject)

public:
    enum SeekOrigin : std::uint32_t { FromBegin = 0, FromCurrent = 1, FromEnd = 2 };

    enum OpenMode : std::uint32_t {
        modeCreate = 0x01,     ///< create, replacing an existing file; without it the file must exist
        modeRead = 0x02,
        modeWrite = 0x04,
        modeShareRead = 0x10,  ///< others may open the file for reading meanwhile
        modeShareWrite = 0x20, ///< others may open the file for writing meanwhile
    };

    NPLFileObject() = default;
    NPLFileObject(const NPLFileObject&) = delete;
    NPLFileObject& operator=(const NPLFileObject&) = delete;
    ~NPLFileObject() override = default;

    /// A new file object over the same bytes, owned by the caller; null when none can be made.
    [[nodiscard]] virtual NPLFileObject* Duplicate() = 0;
    /// Bytes read from the position on; fewer than `count` at the end or on failure.
    virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
    /// Bytes written at the position; fewer than `count` is the failure.
    virtual std::uint32_t Write(const void* buffer, std::uint32_t count) = 0;
    /// The length; 0 when it cannot be had.
    virtual std::uint32_t GetLength() = 0;
    /// Moves by `offset` from a SeekOrigin; the new position, 0 on failure. What another
    /// origin does is up to the class.
    virtual std::uint32_t Seek(std::int32_t offset, std::uint32_t origin) = 0;
    /// The position; 0 when it cannot be had.
    virtual std::uint32_t GetPosition() = 0;
    /// Cuts the stream at the current position: 0 when done, 1 on failure (the default).
    virtual int SetEndOfFile();
    /// The 64-bit forms default to the 32-bit ones widened with a zero high half.
    virtual std::uint64_t GetLargeLength();
    /// By default Seek with the low 32 bits of `offset` taken as a signed value.
    virtual std::uint64_t SeekLarge(std::int64_t offset, std::uint32_t origin);
    virtual std::uint64_t GetLargePosition();
    /// Opens a file named relative to this one (UTF-16 name), owned by the caller; by default
    /// delegated to the parent file, null without one.
    [[nodiscard]] virtual NPLFileObject* OpenRelative(const char16_t* name, std::uint32_t mode);

    std::uint32_t GetOpenMode() const { return openMode_; }

protected:
    npl::platform::RecursiveLock lock_;
    std::uint32_t openMode_ = 0;
    NPLFileObject* parent_ = nullptr; ///< not owned
};

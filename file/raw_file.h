// The file object over an operating-system file.
#pragma once

#include <cstdint>

#include "file/file_object.h"
#include "npl/platform/disk_file.h"
#include "npl/string.h"

/// Reads and writes go straight to the system, without buffering, each under the object's
/// lock. Positions and lengths are 64-bit; the 32-bit forms give their low halves.
class ERawFile : public NPLFileObject {
    NPL_DECLARE_CLASS(NPLFileObject)

public:
    /// A closed file: no handle, empty path, open mode 0.
    ERawFile();
    /// Closes the file.
    ~ERawFile() override;

    /// Opens `path` (8-bit ANSI text) with the open-mode flags: modeCreate creates the file,
    /// emptying an existing one (without it the file must exist); modeRead and modeWrite give
    /// the access; modeShareRead and modeShareWrite let others open the file meanwhile. Other
    /// bits are ignored. An open file is closed first. Never creates a folder.
    /// 0 when the file is open; 1 for a null or empty path, a drive letter the system does not
    /// know (refused before any open attempt), or a refused open, after which the file is
    /// closed. On success the absolute path of the file is recorded.
    [[nodiscard]] int Open(const char* path, std::uint32_t mode);
    /// Closes the handle, if any, and sets the open mode to 0; the recorded path stays.
    void Close();

    /// The absolute path recorded by the last successful Open; empty before one.
    [[nodiscard]] const EString& GetPath() const { return path_; }
    [[nodiscard]] bool IsOpen() const { return handle_ != npl::platform::kInvalidDiskFile; }

    /// A second file object over the same file with the same open mode, never truncating it.
    /// A readable file is opened again by its path and gets its own position, starting at 0;
    /// otherwise (or when that open is refused) the handle is duplicated and the copy shares
    /// the source's position. Null for a closed file or when no handle results.
    [[nodiscard]] NPLFileObject* Duplicate() override;
    /// The bytes the system transferred; 0 when it refuses (a closed file included).
    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    /// The low half of GetLargeLength.
    std::uint32_t GetLength() override;
    /// The low half of SeekLarge with `offset` sign-extended, so -1 from the end is the last
    /// byte.
    std::uint32_t Seek(std::int32_t offset, std::uint32_t origin) override;
    /// The low half of GetLargePosition.
    std::uint32_t GetPosition() override;
    /// Ends the file at the current position: 0 when done, 1 on failure.
    int SetEndOfFile() override;
    /// The file's length; 0 when it cannot be had.
    std::uint64_t GetLargeLength() override;
    /// The new position; 0 on failure (a negative target, an origin other than 0, 1, 2).
    std::uint64_t SeekLarge(std::int64_t offset, std::uint32_t origin) override;
    /// The current position; 0 on failure.
    std::uint64_t GetLargePosition() override;
    /// Opens the UTF-16 `name` taken relative to this file's folder (see CombinePath) with
    /// `mode`, as Open does. Null when the open fails; an empty name names the folder itself,
    /// which is never opened.
    [[nodiscard]] NPLFileObject* OpenRelative(const char16_t* name, std::uint32_t mode) override;

private:
    /// Records the absolute form of `path` that was just opened.
    void RecordFullPath(const char* path);

    /// Moves the known position by a transfer, unless the handle's position is shared.
    std::uint32_t Advance(std::uint32_t transferred);

    npl::platform::DiskFileHandle handle_ = npl::platform::kInvalidDiskFile;
    EString path_;
    /// Where the handle stands. Only this object moves a handle it does not share, so the
    /// position is known without asking the system (layered files ask for it on every read).
    /// A handle duplicated within the process shares its position with the copy, which may
    /// move it: then the system is asked.
    std::uint64_t position_ = 0;
    bool positionShared_ = false;
};

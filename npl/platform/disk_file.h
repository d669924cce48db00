// Operating-system files, reached through a handle. These calls translate one request each into
// the system's terms and report what the system answered; what a failure means for a caller is
// decided above this layer.
#pragma once

#include <cstdint>

namespace npl::platform {

/// A system file handle (Win32 HANDLE, POSIX file descriptor) carried as an integer.
using DiskFileHandle = std::intptr_t;

/// The value of a handle that refers to no file (INVALID_HANDLE_VALUE, or -1 as a descriptor).
inline constexpr DiskFileHandle kInvalidDiskFile = -1;

enum DiskAccess : std::uint32_t {
    DiskAccessRead = 0x1,
    DiskAccessWrite = 0x2,
};

enum DiskShare : std::uint32_t {
    DiskShareRead = 0x1, ///< others may open the file for reading while it is open
    DiskShareWrite = 0x2, ///< others may open the file for writing while it is open
};

enum class DiskCreation {
    CreateAlways, ///< create the file, emptying an existing one
    OpenExisting, ///< the file must exist
};

/// Opens `path` (8-bit text in the ANSI code page) with a combination of DiskAccess flags
/// (0: neither reading nor writing) and DiskShare flags. Never creates a folder and never
/// opens a folder: both fail. No system error box can appear while the call runs.
/// kInvalidDiskFile on failure. POSIX does not enforce the share flags.
[[nodiscard]] DiskFileHandle OpenDiskFile(
    const char* path, std::uint32_t access, std::uint32_t share, DiskCreation creation);

/// Closes `file`; kInvalidDiskFile is ignored.
void CloseDiskFile(DiskFileHandle file);

/// Reads up to `count` bytes at the file's position, which moves past them. A disk file gives
/// the whole count unless the end of the file comes first. Returns the bytes read, 0 when the
/// system refuses (an invalid handle, a file opened without read access).
[[nodiscard]] std::uint32_t ReadDiskFile(DiskFileHandle file, void* buffer, std::uint32_t count);

/// Writes `count` bytes at the file's position, which moves past them. Returns the bytes
/// written, 0 when the system refuses.
[[nodiscard]] std::uint32_t WriteDiskFile(DiskFileHandle file, const void* buffer, std::uint32_t count);

/// Moves the file's position by `offset` from `origin` (0 the beginning, 1 the current
/// position, 2 the end; any other origin fails) and stores the new position. False when the
/// system refuses, a negative target included; a position whose low 32 bits are 0xFFFFFFFF
/// is a success like any other.
[[nodiscard]] bool SeekDiskFile(
    DiskFileHandle file, std::int64_t offset, std::uint32_t origin, std::uint64_t* position);

/// Stores the file's 64-bit length. False when the system refuses.
[[nodiscard]] bool GetDiskFileLength(DiskFileHandle file, std::uint64_t* length);

/// Cuts or extends the file to end at its current position. False when the system refuses.
[[nodiscard]] bool SetDiskFileEnd(DiskFileHandle file);

/// A second handle to the same open file, sharing its position and access; kInvalidDiskFile
/// when the system refuses.
[[nodiscard]] DiskFileHandle DuplicateDiskFile(DiskFileHandle file);

/// Writes the absolute form of `path` into `buffer` (room for `capacity` bytes, terminator
/// included) with the contract of GetFullPathNameA: the length without the terminator when it
/// fits, else the size the buffer needs with the terminator (nothing written), 0 on failure.
/// The file need not exist. POSIX joins a relative path to the current folder by text alone:
/// "." and repeated separators are dropped, ".." and symbolic links are kept as they are.
[[nodiscard]] std::uint32_t GetFullDiskPath(const char* path, char* buffer, std::uint32_t capacity);

/// Whether `rootPath` ("Q:\" style) names a drive the system knows. POSIX has no drives and
/// always answers true.
[[nodiscard]] bool DiskDriveExists(const char* rootPath);

} // namespace npl::platform

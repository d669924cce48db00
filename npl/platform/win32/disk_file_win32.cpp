#include <windows.h>

#include "npl/platform/disk_file.h"

namespace npl::platform {

static HANDLE Handle(DiskFileHandle file) { return reinterpret_cast<HANDLE>(file); }

DiskFileHandle OpenDiskFile(const char* path, std::uint32_t access, std::uint32_t share, DiskCreation creation)
{
    DWORD desiredAccess = 0;
    if (access & DiskAccessRead)
        desiredAccess |= GENERIC_READ;
    if (access & DiskAccessWrite)
        desiredAccess |= GENERIC_WRITE;
    DWORD shareMode = 0;
    if (share & DiskShareRead)
        shareMode |= FILE_SHARE_READ;
    if (share & DiskShareWrite)
        shareMode |= FILE_SHARE_WRITE;
    DWORD disposition = creation == DiskCreation::CreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;

    // A drive without a disk would otherwise ask the user through a system error box.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HANDLE file = CreateFileA(path, desiredAccess, shareMode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetErrorMode(previousMode);
    return file == INVALID_HANDLE_VALUE ? kInvalidDiskFile : reinterpret_cast<DiskFileHandle>(file);
}

void CloseDiskFile(DiskFileHandle file)
{
    // The invalid value is also the current process's pseudo handle: never pass it on.
    if (file != kInvalidDiskFile)
        CloseHandle(Handle(file));
}

std::uint32_t ReadDiskFile(DiskFileHandle file, void* buffer, std::uint32_t count)
{
    DWORD done = 0;
    if (file == kInvalidDiskFile || !ReadFile(Handle(file), buffer, count, &done, nullptr))
        return 0;
    return done;
}

std::uint32_t WriteDiskFile(DiskFileHandle file, const void* buffer, std::uint32_t count)
{
    DWORD done = 0;
    if (file == kInvalidDiskFile || !WriteFile(Handle(file), buffer, count, &done, nullptr))
        return 0;
    return done;
}

bool SeekDiskFile(DiskFileHandle file, std::int64_t offset, std::uint32_t origin, std::uint64_t* position)
{
    if (file == kInvalidDiskFile)
        return false;
    LONG high = static_cast<LONG>(static_cast<std::uint64_t>(offset) >> 32);
    // 0xFFFFFFFF is both the failure answer and the low half of a real position; only the
    // last-error code tells them apart, so it must start cleared.
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(Handle(file), static_cast<LONG>(static_cast<std::uint32_t>(offset)), &high, origin);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    *position = static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32 | low;
    return true;
}

bool GetDiskFileLength(DiskFileHandle file, std::uint64_t* length)
{
    if (file == kInvalidDiskFile)
        return false;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(Handle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    *length = static_cast<std::uint64_t>(high) << 32 | low;
    return true;
}

bool SetDiskFileEnd(DiskFileHandle file) { return file != kInvalidDiskFile && SetEndOfFile(Handle(file)) != FALSE; }

DiskFileHandle DuplicateDiskFile(DiskFileHandle file)
{
    if (file == kInvalidDiskFile)
        return kInvalidDiskFile;
    HANDLE process = GetCurrentProcess();
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, Handle(file), process, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return kInvalidDiskFile;
    return reinterpret_cast<DiskFileHandle>(copy);
}

std::uint32_t GetFullDiskPath(const char* path, char* buffer, std::uint32_t capacity)
{
    return GetFullPathNameA(path, capacity, buffer, nullptr);
}

bool DiskDriveExists(const char* rootPath)
{
    UINT type = GetDriveTypeA(rootPath);
    return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

} // namespace npl::platform

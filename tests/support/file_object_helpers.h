// Small helpers for tests of file objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "file/file_object.h"

/// Owns a file object handed out by Duplicate or OpenRelative.
struct DeleteFileObject {
    void operator()(NPLFileObject* file) const { delete file; }
};
using FilePointer = std::unique_ptr<NPLFileObject, DeleteFileObject>;

/// What one Read of up to `count` bytes delivers.
inline std::string ReadString(NPLFileObject& file, std::uint32_t count)
{
    std::string bytes(count, '\0');
    bytes.resize(file.Read(bytes.data(), count));
    return bytes;
}

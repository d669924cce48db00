#include "archive/file_info.h"

#include <cstring>

#include "npl/heap.h"

FileInfo::~FileInfo()
{
    FreeName();
    FreeExtraInfo();
}

FileInfo::FileInfo(FileInfo&& other) noexcept { *this = static_cast<FileInfo&&>(other); }

FileInfo& FileInfo::operator=(FileInfo&& other) noexcept
{
    if (&other == this)
        return *this;
    FreeName();
    FreeExtraInfo();
    length = other.length;
    attribute = other.attribute;
    encodeType = other.encodeType;
    dataOffset = other.dataOffset;
    time = other.time;
    extraInfoLength_ = other.extraInfoLength_;
    extraInfo_ = other.extraInfo_;
    nameLength_ = other.nameLength_;
    name_ = other.name_;
    other.extraInfoLength_ = 0;
    other.extraInfo_ = nullptr;
    other.nameLength_ = 0;
    other.name_ = nullptr;
    return *this;
}

void* FileInfo::operator new(std::size_t size) noexcept
{
    return nplHeapAllocate(nullptr, static_cast<std::uint32_t>(size), 0);
}

void FileInfo::operator delete(void* block) noexcept { nplHeapFree(nullptr, block, 0); }

void FileInfo::FreeName()
{
    if (name_ != nullptr)
        nplHeapFree(nullptr, name_, 0);
    name_ = nullptr;
    nameLength_ = 0;
}

void FileInfo::FreeExtraInfo()
{
    if (extraInfo_ != nullptr)
        nplHeapFree(nullptr, extraInfo_, 0);
    extraInfo_ = nullptr;
    extraInfoLength_ = 0;
}

int FileInfo::SetName(const char* name)
{
    FreeName();
    if (name == nullptr)
        return 0;
    const std::size_t size = std::strlen(name) + 1;
    if (size > UINT32_MAX)
        return 1;
    auto* block = static_cast<char*>(nplHeapAllocate(nullptr, static_cast<std::uint32_t>(size), 0));
    if (block == nullptr)
        return 1;
    std::memcpy(block, name, size);
    name_ = block;
    nameLength_ = static_cast<std::uint32_t>(size);
    return 0;
}

int FileInfo::SetExtraInfo(const void* data, std::uint32_t size)
{
    FreeExtraInfo();
    if (data == nullptr || size == 0)
        return 0;
    auto* block = static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, size, 0));
    if (block == nullptr)
        return 1;
    std::memcpy(block, data, size);
    extraInfo_ = block;
    extraInfoLength_ = size;
    return 0;
}

int FileInfo::CopyFrom(const FileInfo& source)
{
    if (&source == this)
        return 0;
    length = source.length;
    attribute = source.attribute;
    encodeType = source.encodeType;
    dataOffset = source.dataOffset;
    time = source.time;
    int result = SetExtraInfo(source.extraInfo_, source.extraInfoLength_);
    if (source.name_ != nullptr && source.nameLength_ != 0) {
        FreeName();
        auto* block = static_cast<char*>(nplHeapAllocate(nullptr, source.nameLength_, 0));
        if (block == nullptr)
            return 1;
        std::memcpy(block, source.name_, source.nameLength_);
        name_ = block;
        nameLength_ = source.nameLength_;
    } else {
        FreeName();
    }
    return result;
}

#include "file/file_object.h"

NPL_DEFINE_CLASS(NPLFileObject, NPLObject, "NPLFileObject")

int NPLFileObject::SetEndOfFile() { return 1; }

std::uint64_t NPLFileObject::GetLargeLength() { return GetLength(); }

std::uint64_t NPLFileObject::SeekLarge(std::int64_t offset, std::uint32_t origin)
{
    return Seek(static_cast<std::int32_t>(static_cast<std::uint32_t>(offset)), origin);
}

std::uint64_t NPLFileObject::GetLargePosition() { return GetPosition(); }

NPLFileObject* NPLFileObject::OpenRelative(const char16_t* name, std::uint32_t mode)
{
    return parent_ != nullptr ? parent_->OpenRelative(name, mode) : nullptr;
}

#include "npl/object.h"

#include <cstdint>

#include "npl/heap.h"

const char* const NPLObject::ClassName = "NPLObject";

NPLObject::~NPLObject() = default;

const char* NPLObject::GetClassName() const { return ClassName; }

int NPLObject::IsKindOf(const char* name) const
{
    // A null name counts as empty, which no class is called.
    return name != nullptr && CompareText(name, ClassName) == 0 ? 1 : 0;
}

void* NPLObject::DynamicCast(const char* namePointer) { return namePointer == ClassName ? this : nullptr; }

void* NPLObject::operator new(std::size_t size) noexcept
{
    // The heap takes 32-bit sizes; a larger object must not be cut down to a small block.
    if (size > UINT32_MAX)
        return nullptr;
    return nplHeapAllocate(nullptr, static_cast<std::uint32_t>(size), 0);
}

void NPLObject::operator delete(void* block) noexcept { nplHeapFree(nullptr, block, 0); }

int CompareText(const char* a, const char* b)
{
    if (a == nullptr)
        return b != nullptr && *b != '\0' ? -1 : 0;
    if (b == nullptr)
        return *a != '\0' ? 1 : 0;
    std::size_t i = 0;
    for (; a[i] != '\0'; ++i) {
        if (a[i] != b[i])
            return static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
    }
    return -static_cast<int>(static_cast<unsigned char>(b[i]));
}

// Untrusted bytes as a PE image: OpenPEImageFile, then a handful of resource searches, and for
// each window found a read to its end. A window found must lie inside the file, so reading it
// yields exactly its length.
#include <cstdint>
#include <cstdlib>

#include "file/exe_image_file.h"
#include "file/memory_file.h"

namespace {

void ReadWindow(EXEImageFileObject& image)
{
    const std::uint32_t length = image.GetLength();
    static std::uint8_t block[4096];
    std::uint32_t total = 0;
    for (;;) {
        const std::uint32_t got = image.Read(block, sizeof block);
        if (got > sizeof block)
            std::abort();
        total += got;
        if (got == 0)
            break;
    }
    if (total != length)
        std::abort();
    if (image.Seek(-1, NPLFileObject::FromEnd) != (length == 0 ? 0 : length - 1))
        std::abort();
    if (image.Seek(-5, NPLFileObject::FromBegin) != 0 || image.Seek(1, 9) != (length == 0 ? 0 : 1))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFF)
        return 0;
    EMemoryFile file;
    file.Create(static_cast<std::uint32_t>(size));
    if (file.Write(data, static_cast<std::uint32_t>(size)) != size)
        return 0;
    file.Seek(0, NPLFileObject::FromBegin);

    EXEImageFileObject image;
    if (image.OpenPEImageFile(&file) != nullptr)
        return 0;
    // The last two bytes of the input choose an identifier type and name as well, so that
    // inputs can reach any identifier entry.
    const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[size - 2] | data[size - 1] << 8) : 1;
    const struct {
        const char* type;
        const char* name;
        std::uint16_t language;
    } searches[] = {
        {"RT_RCDATA", "IDR_ARCHIVE", 0},
        {"RT_RCDATA", "IDR_ARCHIVE", 1041},
        {EXEImageFileObject::ResourceId(10), "IDR_ARCHIVE", 0},
        {"RT_RCDATA", "MULTI", 1033},
        {"#10", "HASHTEN", 0},
        {EXEImageFileObject::ResourceId(10), EXEImageFileObject::ResourceId(7), 0},
        {EXEImageFileObject::ResourceId(id & 0xFF), EXEImageFileObject::ResourceId(id >> 8), 0},
        {"", "", 0},
    };
    for (const auto& search : searches) {
        if (image.OpenResource(search.type, search.name, search.language) == nullptr)
            ReadWindow(image);
    }
    return 0;
}

// The directory list of the archive and its entry names.
#include "archive/tovra_archive.h"

NPL_DEFINE_CLASS(TOVRAArchive::EFileName, EString, "TOVRAArchive::EFileName")

TOVRAArchive::EFileName::EFileName(const char* name, FileInfo* info)
    : EString(name)
    , info_(info)
{
}

TOVRAArchive::EFileName::~EFileName() { delete info_; }

FileInfo* TOVRAArchive::EDirectory::GetInfo(std::uint32_t index) const
{
    const EFileName* element = GetAt(index);
    return element != nullptr ? element->GetInfo() : nullptr;
}

FileInfo* TOVRAArchive::EDirectory::FindEntry(const char* entryName) const
{
    if (count_ == 0)
        return nullptr;
    std::int64_t lower = 0;
    std::int64_t upper = static_cast<std::int64_t>(count_) - 1;
    while (lower <= upper) {
        const std::int64_t middle = (lower + upper) / 2;
        const EFileName* element = GetAt(static_cast<std::uint32_t>(middle));
        const int order = element->CompareNoCase(entryName);
        if (order > 0)
            upper = middle - 1;
        else if (order < 0)
            lower = middle + 1;
        else
            return element->GetInfo();
    }
    return nullptr;
}

int TOVRAArchive::EDirectory::File(FileInfo* info, bool replace)
{
    EFileName* element = new EFileName(info->GetName(), info);
    if (element == nullptr) {
        delete info;
        return 1;
    }
    // A name that could not be copied would be filed in the wrong place.
    if (element->GetLength() + 1 < info->GetNameLength()) {
        delete element;
        return 1;
    }

    const char* entryName = info->GetName();
    std::uint32_t index = count_;
    if (count_ != 0) {
        const int lastOrder = GetAt(count_ - 1)->CompareNoCase(entryName);
        if (lastOrder > 0 || (lastOrder == 0 && replace)) {
            std::int64_t lower = 0;
            std::int64_t upper = static_cast<std::int64_t>(count_) - 1;
            bool found = false;
            while (lower <= upper) {
                const std::int64_t middle = (lower + upper) / 2;
                const int order = GetAt(static_cast<std::uint32_t>(middle))->CompareNoCase(entryName);
                if (order > 0) {
                    upper = middle - 1;
                } else if (order < 0) {
                    lower = middle + 1;
                } else {
                    lower = middle;
                    found = true;
                    break;
                }
            }
            index = static_cast<std::uint32_t>(lower);
            if (found && replace) {
                EFileName* old = GetAt(index);
                SetAt(index, element);
                delete old;
                return 0;
            }
        }
    }
    if (!InsertAt(index, element)) {
        delete element;
        return 1;
    }
    return 0;
}

int TOVRAArchive::EDirectory::AddEntry(const FileInfo& info)
{
    FileInfo* copy = new FileInfo;
    if (copy == nullptr)
        return 1;
    if (copy->CopyFrom(info) != 0) {
        delete copy;
        return 1;
    }
    return File(copy, true);
}

int TOVRAArchive::EDirectory::AddEntries(const EDirectory* source)
{
    if (source == nullptr || source == this)
        return 0;
    const std::uint32_t count = source->GetCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        const FileInfo* info = source->GetInfo(i);
        if (info != nullptr && AddEntry(*info) != 0)
            return 1;
    }
    return 0;
}

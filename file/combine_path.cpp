#include "file/combine_path.h"

#include <cstdint>

namespace {

bool IsSeparator(char16_t character) { return character == u'\\' || character == u'/'; }

// Characters of the drive prefix of `folder`, 0 when it has none.
std::uint32_t DrivePrefixLength(const char16_t* folder)
{
    for (std::uint32_t i = 0; folder[i] != 0 && !IsSeparator(folder[i]); ++i) {
        if (folder[i] == u':')
            return i + 1;
    }
    return 0;
}

bool AppendCount(EWideString& path, const char16_t* text, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!path.Append(text[i]))
            return false;
    }
    return true;
}

// Returns `path` when every step succeeded, else the empty string: a half-built path must
// never reach an open call.
EWideString Finished(EWideString& path, bool complete)
{
    if (!complete)
        path.FreeBuffer();
    return static_cast<EWideString&&>(path);
}

} // namespace

EWideString GetDrivePrefix(const char16_t* folder)
{
    EWideString prefix;
    if (folder == nullptr)
        return prefix;
    bool complete = AppendCount(prefix, folder, DrivePrefixLength(folder));
    return Finished(prefix, complete);
}

EWideString CombinePath(const char16_t* folder, const char16_t* name)
{
    if (folder == nullptr)
        folder = u"";
    EWideString path;
    bool complete = true;
    if (name == nullptr || name[0] == 0) {
        complete = path.Assign(folder);
        return Finished(path, complete);
    }
    if (IsSeparator(name[0])) {
        complete = AppendCount(path, folder, DrivePrefixLength(folder)) && path.Append(name);
        return Finished(path, complete);
    }
    for (const char16_t* scan = name; *scan != 0 && !IsSeparator(*scan); ++scan) {
        if (*scan == u':') {
            complete = path.Assign(name);
            return Finished(path, complete);
        }
    }
    complete = path.Assign(folder);
    std::uint32_t folderLength = path.GetLength();
    if (complete && folderLength != 0 && !IsSeparator(folder[folderLength - 1]))
        complete = path.Append(u'\\');
    if (complete)
        complete = path.Append(name);
    return Finished(path, complete);
}

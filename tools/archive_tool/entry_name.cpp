#include "tools/archive_tool/entry_name.h"

#include <array>

#include "npl/platform/text_encoding.h"

namespace archive_tool {

namespace {

bool IsShiftJisLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareEntryNames(a, b) == 0;
}

// Windows opens these as devices whatever extension follows them ("nul.txt" too).
bool IsDeviceName(std::string_view name)
{
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    static constexpr std::array<std::string_view, 4> plain = { "CON", "PRN", "AUX", "NUL" };
    for (std::string_view device : plain)
        if (EqualNoCase(base, device))
            return true;
    if (base.size() == 4 && base[3] >= '1' && base[3] <= '9')
        return EqualNoCase(base.substr(0, 3), "COM") || EqualNoCase(base.substr(0, 3), "LPT");
    return false;
}

} // namespace

NameProblem CheckEntryName(std::string_view name, unsigned codePage)
{
    if (name.empty())
        return NameProblem::Empty;
    if (name == "." || name == "..")
        return NameProblem::DotName;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(name[i]);
        if (codePage == kNamesShiftJis && IsShiftJisLeadByte(byte)) {
            if (i + 1 == name.size())
                return NameProblem::BrokenText;
            ++i; // the trail byte may be 0x5C or any other value: it is not a character of its own
            continue;
        }
        if (byte == '/' || byte == '\\')
            return NameProblem::Separator;
        if (byte == ':')
            return NameProblem::Colon;
        if (byte < 0x20 || byte == 0x7F)
            return NameProblem::ControlCharacter;
    }
    if (name.back() == '.' || name.back() == ' ')
        return NameProblem::TrailingDotOrSpace;
    if (IsDeviceName(name))
        return NameProblem::DeviceName;
    std::u16string ignored;
    if (!npl::platform::DecodeCodePage(codePage, name.data(), name.size(), ignored))
        return NameProblem::BrokenText;
    return NameProblem::None;
}

const char* DescribeNameProblem(NameProblem problem)
{
    switch (problem) {
    case NameProblem::None:
        return "is safe";
    case NameProblem::Empty:
        return "is empty";
    case NameProblem::DotName:
        return "names the folder itself or its parent";
    case NameProblem::Separator:
        return "contains a path separator";
    case NameProblem::Colon:
        return "contains a drive prefix or colon";
    case NameProblem::ControlCharacter:
        return "contains a control character";
    case NameProblem::DeviceName:
        return "is a Windows device name";
    case NameProblem::TrailingDotOrSpace:
        return "ends with a dot or a space";
    case NameProblem::BrokenText:
        return "is not valid text in the archive's code page";
    }
    return "is not usable";
}

int CompareEntryNames(std::string_view a, std::string_view b)
{
    std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = static_cast<unsigned char>(UpperAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::optional<std::u16string> EntryNameCodec::ToFileName(std::string_view entryName) const
{
    std::u16string fileName;
    if (!npl::platform::DecodeCodePage(codePage_, entryName.data(), entryName.size(), fileName))
        return std::nullopt;
    std::string back;
    if (!npl::platform::EncodeCodePage(codePage_, fileName.data(), fileName.size(), back) || back != entryName)
        return std::nullopt;
    return fileName;
}

std::optional<std::string> EntryNameCodec::ToEntryName(std::u16string_view fileName) const
{
    std::string entryName;
    if (!npl::platform::EncodeCodePage(codePage_, fileName.data(), fileName.size(), entryName))
        return std::nullopt;
    std::u16string back;
    if (!npl::platform::DecodeCodePage(codePage_, entryName.data(), entryName.size(), back) || back != fileName)
        return std::nullopt;
    return entryName;
}

} // namespace archive_tool

#include "tools/archive_tool/path_text.h"

#include <climits>
#include <type_traits>

#include "npl/platform/code_page.h"
#include "npl/platform/text_encoding.h"

namespace archive_tool {

namespace {

using NativeChar = std::filesystem::path::value_type;
static_assert(
    std::is_same_v<NativeChar, char> || sizeof(NativeChar) == sizeof(char16_t), "native paths are bytes or UTF-16");

[[maybe_unused]] std::u16string AnsiToWide(std::string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    int length = static_cast<int>(text.size());
    int needed = npl::platform::MultiByteToWide(text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    if (npl::platform::MultiByteToWide(text.data(), length, wide.data(), needed) != needed)
        return {};
    return wide;
}

std::string WideToAnsi(std::u16string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    int length = static_cast<int>(text.size());
    int needed = npl::platform::WideToMultiByte(text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    if (npl::platform::WideToMultiByte(text.data(), length, bytes.data(), needed) != needed)
        return {};
    return bytes;
}

// The branches below depend on the native character type, so each is compiled only for the
// platform it serves.
template <typename Native> std::optional<std::filesystem::path> PathFromArgumentAs(std::string_view argument)
{
    if constexpr (std::is_same_v<Native, char>) {
        return std::filesystem::path(std::string(argument));
    } else {
        std::u16string wide = AnsiToWide(argument);
        if (wide.empty())
            return std::nullopt;
        return std::filesystem::path(std::basic_string<Native>(wide.begin(), wide.end()));
    }
}

template <typename Native> std::optional<std::string> ArgumentFromNative(const std::basic_string<Native>& native)
{
    if constexpr (std::is_same_v<Native, char>) {
        return native;
    } else {
        std::u16string wide(native.begin(), native.end());
        std::string bytes = WideToAnsi(wide);
        if (bytes.empty() || AnsiToWide(bytes) != wide)
            return std::nullopt;
        return bytes;
    }
}

template <typename Native> std::optional<std::filesystem::path> PathFromNameAs(std::u16string_view name)
{
    if constexpr (std::is_same_v<Native, char>) {
        std::string bytes;
        if (!npl::platform::EncodeCodePage(npl::platform::kCodePageUtf8, name.data(), name.size(), bytes))
            return std::nullopt;
        return std::filesystem::path(bytes);
    } else {
        return std::filesystem::path(std::basic_string<Native>(name.begin(), name.end()));
    }
}

template <typename Native> std::optional<std::u16string> NameFromNative(const std::basic_string<Native>& native)
{
    if constexpr (std::is_same_v<Native, char>) {
        std::u16string wide;
        if (!npl::platform::DecodeCodePage(npl::platform::kCodePageUtf8, native.data(), native.size(), wide))
            return std::nullopt;
        return wide;
    } else {
        return std::u16string(native.begin(), native.end());
    }
}

template <typename Native> std::string DisplayNative(const std::basic_string<Native>& native)
{
    if constexpr (std::is_same_v<Native, char>)
        return native;
    else
        return DisplayText(std::u16string(native.begin(), native.end()));
}

} // namespace

std::optional<std::filesystem::path> PathFromArgument(std::string_view argument)
{
    if (argument.empty())
        return std::nullopt;
    return PathFromArgumentAs<NativeChar>(argument);
}

std::optional<std::string> ArgumentFromPath(const std::filesystem::path& path)
{
    return ArgumentFromNative(path.native());
}

std::optional<std::filesystem::path> PathFromName(std::u16string_view name) { return PathFromNameAs<NativeChar>(name); }

std::optional<std::u16string> NameFromPath(const std::filesystem::path& path) { return NameFromNative(path.native()); }

std::string DisplayText(std::u16string_view text)
{
    // The exact conversion is the cheap one where the code page is one it knows; the system's
    // lossy one serves for the rest.
    std::string bytes;
    if (npl::platform::EncodeCodePage(npl::platform::GetAnsiCodePage(), text.data(), text.size(), bytes))
        return bytes;
    return WideToAnsi(text);
}

std::string DisplayPath(const std::filesystem::path& path) { return DisplayNative(path.native()); }

} // namespace archive_tool

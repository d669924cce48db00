// The one place the POSIX layer runs iconv, for the ANSI conversions of code_page.h and the
// exact ones of text_encoding.h.
#pragma once

#include <cstddef>
#include <string>

namespace npl::platform {

inline constexpr const char* kIconvShiftJis = "CP932";
inline constexpr const char* kIconvUtf8 = "UTF-8";
inline constexpr const char* kIconvUtf16 = "UTF-16LE";

/// What a sequence that cannot be converted (or has no exact form) does to the conversion.
struct Unconvertible {
    /// Null: the conversion fails. Otherwise these bytes (in the target encoding) stand for it
    /// and the conversion goes on after `skip` input bytes.
    const std::string* replacement = nullptr;
    std::size_t skip = 1;
};

/// Converts `size` bytes of `input` from `from` to `to` (iconv names) into `output`. False,
/// with `output` emptied, when the pair is not supported or, without a replacement, when a
/// sequence cannot be converted exactly. Converters are opened once per thread and reused.
[[nodiscard]] bool IconvConvert(const char* to, const char* from, const char* input, std::size_t size,
                                std::string& output, const Unconvertible& unconvertible = {});

} // namespace npl::platform

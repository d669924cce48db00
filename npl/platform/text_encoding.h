// Exact conversion between 8-bit text in a named code page and UTF-16, for texts that must
// survive a round trip unchanged (file and entry names). Unlike the ANSI conversion of
// code_page.h, nothing is replaced: a byte sequence that is not text in the code page, or a
// character the code page lacks, makes the conversion fail.
#pragma once

#include <cstddef>
#include <string>

namespace npl::platform {

/// Converts `size` bytes of `source` in `codePage` (932 or 65001) to UTF-16 in `destination`.
/// False, with `destination` emptied, for another code page or bytes that are not valid text in
/// it. An empty source gives an empty result and true.
[[nodiscard]] bool DecodeCodePage(unsigned codePage, const char* source, std::size_t size, std::u16string& destination);

/// Converts `size` UTF-16 units of `source` to `codePage` (932 or 65001) in `destination`.
/// False, with `destination` emptied, for another code page, an unpaired surrogate, or a
/// character that has no exact form in the code page (no best-fit substitutes).
[[nodiscard]] bool EncodeCodePage(
    unsigned codePage, const char16_t* source, std::size_t size, std::string& destination);

} // namespace npl::platform

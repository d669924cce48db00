// The few places of the PE/COFF layout that the executable image reader looks at. All fields
// are little-endian; offsets are within their structure.
#pragma once

#include <cstdint>

namespace npl::pe {

inline constexpr std::uint32_t kDosHeaderSize = 64;
inline constexpr std::uint32_t kNewHeaderOffsetField = 60; ///< e_lfanew: file offset of the signature
inline constexpr std::uint32_t kSignatureSize = 4;
inline constexpr std::uint8_t kSignature[kSignatureSize] = {'P', 'E', 0, 0};
inline constexpr std::uint32_t kFileHeaderSize = 20;
inline constexpr std::uint32_t kNumberOfSectionsField = 2;
inline constexpr std::uint32_t kSizeOfOptionalHeaderField = 16;
/// Signature, file header and the 224-byte optional header of a PE32 image: what a file must
/// at least hold after e_lfanew.
inline constexpr std::uint32_t kMinimumHeadersSize = kSignatureSize + kFileHeaderSize + 224;

inline constexpr std::uint32_t kSectionHeaderSize = 40;
inline constexpr std::uint32_t kVirtualAddressField = 12;
inline constexpr std::uint32_t kSizeOfRawDataField = 16;
inline constexpr std::uint32_t kPointerToRawDataField = 20;
/// The resource section's 8-byte name: ".rsrc" and three zero bytes, so ".rsrcx" is another.
inline constexpr std::uint8_t kResourceSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};

inline constexpr std::uint32_t kDirectorySize = 16;
inline constexpr std::uint32_t kNumberOfNamedEntriesField = 12;
inline constexpr std::uint32_t kNumberOfIdEntriesField = 14;
inline constexpr std::uint32_t kDirectoryEntrySize = 8; ///< Name or identifier, then OffsetToData
inline constexpr std::uint32_t kDataEntrySize = 16;     ///< OffsetToData (an RVA), then Size
/// In an entry's first word: a named entry. In its second: the target is a subdirectory.
inline constexpr std::uint32_t kHighBit = 0x80000000u;

[[nodiscard]] inline std::uint16_t Read16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

[[nodiscard]] inline std::uint32_t Read32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

/// Named plus identifier entries of the directory at `directory`.
[[nodiscard]] inline std::uint32_t DirectoryEntryCount(const std::uint8_t* directory)
{
    return std::uint32_t{Read16(directory + kNumberOfNamedEntriesField)} + Read16(directory + kNumberOfIdEntriesField);
}

} // namespace npl::pe

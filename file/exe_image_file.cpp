#include "file/exe_image_file.h"

#include <cstring>

#include "file/pe_layout.h"
#include "file/stream_buffer.h"
#include "npl/heap.h"
#include "npl/platform/code_page.h"

NPL_DEFINE_CLASS(EXEImageFileObject, NPLFileObject, "EXEImageFileObject")

namespace {

using namespace npl::pe;

// The failure texts are part of the interface and reach callers as 8-bit text in code page 932.
// 有効な PE イメージファイルではありません。
const char kNotPEImage[] = "\x97L\x8c\xf8\x82\xc8 PE \x83\x43\x83\x81\x81\x5b\x83W\x83t\x83\x40\x83\x43\x83\x8b"
                           "\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// OpenPEImageFile 関数でイメージファイルが開かれていません。
const char kImageNotOpened[] = "OpenPEImageFile \x8a\xd6\x90\x94\x82\xc5\x83\x43\x83\x81\x81\x5b\x83W\x83t\x83\x40"
                               "\x83\x43\x83\x8b\x82\xaa\x8aJ\x82\xa9\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1"
                               "\x81\x42";
// リソースセクションがありません。
const char kNoResourceSection[] = "\x83\x8a\x83\x5c\x81\x5b\x83X\x83Z\x83N\x83V\x83\x87\x83\x93\x82\xaa\x82\xa0\x82\xe8"
                                  "\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// リソースタイプが見つかりません。
const char kTypeNotFound[] = "\x83\x8a\x83\x5c\x81\x5b\x83X\x83\x5e\x83\x43\x83v\x82\xaa\x8c\xa9\x82\xc2\x82\xa9"
                             "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// リソース識別子が見つかりません。
const char kNameNotFound[] = "\x83\x8a\x83\x5c\x81\x5b\x83X\x8e\xaf\x95\xca\x8eq\x82\xaa\x8c\xa9\x82\xc2\x82\xa9"
                             "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// 言語識別子が見つかりません。
const char kLanguageNotFound[] = "\x8c\xbe\x8c\xea\x8e\xaf\x95\xca\x8eq\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc"
                                 "\x82\xb9\x82\xf1\x81\x42";
// データエントリが不正です。
const char kBadDataEntry[] = "\x83\x66\x81\x5b\x83\x5e\x83G\x83\x93\x83g\x83\x8a\x82\xaa\x95s\x90\xb3\x82\xc5\x82\xb7"
                             "\x81\x42";
// リソースデータが見つかりませんでした。
const char kOutsideCopy[] = "\x83\x8a\x83\x5c\x81\x5b\x83X\x83\x66\x81\x5b\x83\x5e\x82\xaa\x8c\xa9\x82\xc2\x82\xa9"
                            "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42";

constexpr std::uint32_t kNoDataOffset = 0x7FFFFFFF;

/// Reads exactly `count` bytes at `offset` of `file`, which holds `fileLength` bytes. Ranges
/// the file cannot hold are refused before the file is touched, so an offset taken from the
/// image can never wrap around or land on a failed seek's position.
bool ReadExactlyAt(NPLFileObject& file, std::uint32_t fileLength, std::uint64_t offset, void* buffer,
                   std::uint32_t count)
{
    if (offset + count > fileLength)
        return false;
    if (file.SeekLarge(static_cast<std::int64_t>(offset), NPLFileObject::FromBegin) != offset)
        return false;
    return file.Read(buffer, count) == count;
}

/// Scratch space for the entry lists of one directory level. A stream buffer keeps every area
/// it handed out until it is destroyed, so requests grow at least twofold: directories of ever
/// larger sizes then cost at most twice the largest, not the sum of all of them.
class LevelScratch {
public:
    static constexpr std::uint32_t kSmallestScratch = 4096;

    /// At least `size` bytes, or null when the heap has none.
    std::uint8_t* Get(std::uint32_t size)
    {
        if (area_ == nullptr || size > size_) {
            std::uint32_t request = size > size_ * 2 ? size : size_ * 2;
            if (request < kSmallestScratch)
                request = kSmallestScratch;
            area_ = static_cast<std::uint8_t*>(buffer_.GetBuffer(request));
            size_ = area_ != nullptr ? request : 0;
        }
        return area_;
    }

private:
    EStreamBuffer buffer_;
    std::uint8_t* area_ = nullptr;
    std::uint32_t size_ = 0;
};

/// Reads the directory at `offset` and its entries into `scratch`. Null when any of it lies
/// beyond the file or cannot be read in full.
const std::uint8_t* ReadDirectoryAt(NPLFileObject& file, std::uint32_t fileLength, std::uint64_t offset,
                                    LevelScratch& scratch, std::uint32_t* entryCount)
{
    std::uint8_t header[kDirectorySize];
    if (!ReadExactlyAt(file, fileLength, offset, header, kDirectorySize))
        return nullptr;
    const std::uint32_t count = DirectoryEntryCount(header);
    const std::uint32_t bytes = count * kDirectoryEntrySize;
    if (offset + kDirectorySize + bytes > fileLength)
        return nullptr;
    std::uint8_t* entries = scratch.Get(bytes);
    if (entries == nullptr || (bytes > 0 && file.Read(entries, bytes) != bytes))
        return nullptr;
    *entryCount = count;
    return entries;
}

/// A type or name argument as the search compares it: an identifier, or the argument's text
/// converted to UTF-16 from the ANSI code page.
class ResourceArgument {
public:
    explicit ResourceArgument(const char* argument)
    {
        if ((reinterpret_cast<std::uintptr_t>(argument) >> 16) == 0) {
            identifier_ = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(argument));
            return;
        }
        isText_ = true;
        const int units = npl::platform::MultiByteToWide(argument, -1, nullptr, 0);
        if (units <= 0)
            return;
        const std::uint32_t bytes = static_cast<std::uint32_t>(units) * 2;
        char16_t* text = bytes <= sizeof(inlineText_) ? inlineText_ : static_cast<char16_t*>(scratch_.GetBuffer(bytes));
        if (text == nullptr || npl::platform::MultiByteToWide(argument, -1, text, units) != units)
            return;
        text_ = text;
        length_ = static_cast<std::uint32_t>(units) - 1;
    }
    ResourceArgument(const ResourceArgument&) = delete;
    ResourceArgument& operator=(const ResourceArgument&) = delete;

    [[nodiscard]] bool IsText() const { return isText_; }
    [[nodiscard]] std::uint32_t Identifier() const { return identifier_; }

    /// True when the stored name (`units` UTF-16 units at `stored`) is this text exactly: same
    /// length, same units, no case folding. A text that could not be converted matches nothing.
    [[nodiscard]] bool MatchesName(const std::uint8_t* stored, std::uint32_t units) const
    {
        if (text_ == nullptr || units != length_)
            return false;
        for (std::uint32_t i = 0; i < length_; ++i) {
            if (Read16(stored + 2 * i) != static_cast<std::uint16_t>(text_[i]))
                return false;
        }
        return true;
    }

private:
    bool isText_ = false;
    std::uint32_t identifier_ = 0;
    const char16_t* text_ = nullptr;
    std::uint32_t length_ = 0;
    char16_t inlineText_[64];
    EStreamBuffer scratch_;
};

/// The search over the in-memory copy; every piece is checked to lie inside it before it is
/// read.
class CopySearch {
public:
    CopySearch(const std::uint8_t* copy, std::uint32_t copyLength, std::uint32_t resourceStart)
        : copy_(copy), copyLength_(copyLength), resourceStart_(resourceStart)
    {
    }

    enum class Outcome { Found, NotFound, OutsideCopy };

    /// The directory at `relative` (from the resource section's start) and its entry count,
    /// or null when it does not lie inside the copy.
    const std::uint8_t* Directory(std::uint32_t relative, std::uint32_t* count) const
    {
        const std::uint64_t offset = std::uint64_t{resourceStart_} + relative;
        if (offset + kDirectorySize > copyLength_)
            return nullptr;
        const std::uint8_t* directory = copy_ + offset;
        *count = DirectoryEntryCount(directory);
        if (offset + kDirectorySize + std::uint64_t{*count} * kDirectoryEntrySize > copyLength_)
            return nullptr;
        return directory;
    }

    /// The first entry of `directory` that matches `argument`.
    Outcome FindEntry(const std::uint8_t* directory, std::uint32_t count, const ResourceArgument& argument,
                      const std::uint8_t** found) const
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = directory + kDirectorySize + i * kDirectoryEntrySize;
            const std::uint32_t name = Read32(entry);
            if ((name & kHighBit) == 0) {
                // A text argument never matches an identifier entry.
                if (!argument.IsText() && name == argument.Identifier()) {
                    *found = entry;
                    return Outcome::Found;
                }
                continue;
            }
            // An identifier argument never matches a named entry, not even one with an empty
            // name: an identifier has no text to compare.
            if (!argument.IsText())
                continue;
            const std::uint64_t stringOffset = std::uint64_t{resourceStart_} + (name & ~kHighBit);
            if (stringOffset + 2 > copyLength_)
                return Outcome::OutsideCopy;
            const std::uint32_t units = Read16(copy_ + stringOffset);
            if (stringOffset + 2 + std::uint64_t{units} * 2 > copyLength_)
                return Outcome::OutsideCopy;
            if (argument.MatchesName(copy_ + stringOffset + 2, units)) {
                *found = entry;
                return Outcome::Found;
            }
        }
        return Outcome::NotFound;
    }

private:
    const std::uint8_t* copy_;
    std::uint32_t copyLength_;
    std::uint32_t resourceStart_;
};

} // namespace

EXEImageFileObject::~EXEImageFileObject() { Close(); }

void EXEImageFileObject::Close()
{
    if (copy_ != nullptr)
        nplHeapFree(nullptr, copy_, 0);
    copy_ = nullptr;
    copyLength_ = 0;
    file_ = nullptr;
    fileLength_ = 0;
    fileHeader_ = nullptr;
    optionalHeader_ = nullptr;
    sectionTable_ = nullptr;
    resourceSection_ = nullptr;
    windowOffset_ = 0;
    windowLength_ = 0;
}

const char* EXEImageFileObject::OpenPEImageFile(NPLFileObject* file)
{
    Close();
    openMode_ = modeRead;
    file_ = file;
    if (file == nullptr)
        return kNotPEImage;
    fileLength_ = file->GetLength();

    std::uint8_t dosHeader[kDosHeaderSize];
    if (file->Read(dosHeader, kDosHeaderSize) != kDosHeaderSize)
        return kNotPEImage;
    // Summed in 64 bits: an e_lfanew near 4 GiB must not wrap around to a small sum.
    const std::uint32_t signatureOffset = Read32(dosHeader + kNewHeaderOffsetField);
    if (std::uint64_t{signatureOffset} + kMinimumHeadersSize > fileLength_)
        return kNotPEImage;

    std::uint8_t signature[kSignatureSize];
    if (!ReadExactlyAt(*file, fileLength_, signatureOffset, signature, kSignatureSize)
        || std::memcmp(signature, kSignature, kSignatureSize) != 0)
        return kNotPEImage;
    std::uint8_t fileHeader[kFileHeaderSize];
    if (file->Read(fileHeader, kFileHeaderSize) != kFileHeaderSize)
        return kNotPEImage;
    const std::uint32_t fileHeaderOffset = signatureOffset + kSignatureSize;
    const std::uint64_t sectionTableOffset
        = std::uint64_t{fileHeaderOffset} + kFileHeaderSize + Read16(fileHeader + kSizeOfOptionalHeaderField);
    const std::uint32_t sectionCount = Read16(fileHeader + kNumberOfSectionsField);
    if (sectionCount == 0)
        return kNotPEImage;

    std::uint8_t section[kSectionHeaderSize];
    std::uint64_t resourceHeaderOffset = 0;
    bool haveResourceSection = false;
    for (std::uint32_t i = 0; i < sectionCount && !haveResourceSection; ++i) {
        const std::uint64_t offset = sectionTableOffset + std::uint64_t{i} * kSectionHeaderSize;
        if (!ReadExactlyAt(*file, fileLength_, offset, section, kSectionHeaderSize))
            return kNotPEImage;
        if (std::memcmp(section, kResourceSectionName, sizeof(kResourceSectionName)) == 0) {
            resourceHeaderOffset = offset;
            haveResourceSection = true;
        }
    }
    if (!haveResourceSection)
        return kNotPEImage;
    const std::uint32_t virtualAddress = Read32(section + kVirtualAddressField);
    const std::uint32_t resourceStart = Read32(section + kPointerToRawDataField);

    // One scratch area per level: an entry list stays in use while the levels below it are read.
    LevelScratch rootScratch;
    LevelScratch nameScratch;
    LevelScratch languageScratch;
    std::uint32_t rootCount = 0;
    const std::uint8_t* root = ReadDirectoryAt(*file, fileLength_, resourceStart, rootScratch, &rootCount);
    if (root == nullptr)
        return kNotPEImage;

    // In a directory tree every entry has its own eight bytes of the file, so a walk that
    // visits more entries than the file has room for is going round shared directories: a
    // crafted file could otherwise make the three nested levels run for hours.
    std::uint64_t entriesLeft = fileLength_ / kDirectoryEntrySize;
    std::uint32_t lowest = kNoDataOffset;
    for (std::uint32_t t = 0; t < rootCount; ++t) {
        const std::uint32_t typeTarget = Read32(root + t * kDirectoryEntrySize + 4) & ~kHighBit;
        std::uint32_t nameCount = 0;
        const std::uint8_t* names = ReadDirectoryAt(*file, fileLength_, std::uint64_t{resourceStart} + typeTarget,
                                                    nameScratch, &nameCount);
        if (names == nullptr)
            continue;
        for (std::uint32_t n = 0; n < nameCount; ++n) {
            if (entriesLeft == 0)
                return kNotPEImage;
            --entriesLeft;
            const std::uint32_t nameTarget = Read32(names + n * kDirectoryEntrySize + 4) & ~kHighBit;
            std::uint32_t languageCount = 0;
            const std::uint8_t* languages = ReadDirectoryAt(
                *file, fileLength_, std::uint64_t{resourceStart} + nameTarget, languageScratch, &languageCount);
            if (languages == nullptr)
                continue;
            if (entriesLeft < languageCount)
                return kNotPEImage;
            entriesLeft -= languageCount;
            for (std::uint32_t l = 0; l < languageCount; ++l) {
                const std::uint32_t dataTarget = Read32(languages + l * kDirectoryEntrySize + 4) & ~kHighBit;
                std::uint8_t dataEntry[kDataEntrySize];
                if (!ReadExactlyAt(*file, fileLength_, std::uint64_t{resourceStart} + dataTarget, dataEntry,
                                   kDataEntrySize))
                    continue;
                const std::uint32_t candidate = Read32(dataEntry) - virtualAddress + resourceStart;
                if (candidate < lowest)
                    lowest = candidate;
            }
        }
    }
    if (lowest == kNoDataOffset)
        return kNotPEImage;

    // The copy never claims more than the file holds, and it must at least hold the headers
    // the search reads through the pointers below.
    const std::uint32_t copyLength = lowest < fileLength_ ? lowest : fileLength_;
    if (copyLength < resourceHeaderOffset + kSectionHeaderSize || copyLength < fileHeaderOffset + kFileHeaderSize)
        return kNotPEImage;
    auto* copy = static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, copyLength, 0));
    if (copy == nullptr)
        return kNotPEImage;
    if (file->Seek(0, FromBegin) != 0 || file->Read(copy, copyLength) != copyLength) {
        nplHeapFree(nullptr, copy, 0);
        return kNotPEImage;
    }
    copy_ = copy;
    copyLength_ = copyLength;
    fileHeader_ = copy + fileHeaderOffset;
    optionalHeader_ = fileHeader_ + kFileHeaderSize;
    sectionTable_ = copy + sectionTableOffset;
    resourceSection_ = copy + resourceHeaderOffset;
    return nullptr;
}

const char* EXEImageFileObject::FindResourceData(const char* type, const char* name, std::uint16_t language,
                                                 std::uint32_t* fileOffset, std::uint32_t* size) const
{
    if (resourceSection_ == nullptr)
        return kNoResourceSection;
    const std::uint32_t virtualAddress = Read32(resourceSection_ + kVirtualAddressField);
    const std::uint32_t rawSize = Read32(resourceSection_ + kSizeOfRawDataField);
    const std::uint32_t resourceStart = Read32(resourceSection_ + kPointerToRawDataField);
    const CopySearch search(copy_, copyLength_, resourceStart);

    std::uint32_t count = 0;
    const std::uint8_t* directory = search.Directory(0, &count);
    if (directory == nullptr)
        return kOutsideCopy;
    const std::uint8_t* entry = nullptr;
    switch (search.FindEntry(directory, count, ResourceArgument(type), &entry)) {
    case CopySearch::Outcome::OutsideCopy:
        return kOutsideCopy;
    case CopySearch::Outcome::NotFound:
        return kTypeNotFound;
    case CopySearch::Outcome::Found:
        break;
    }

    directory = search.Directory(Read32(entry + 4) & ~kHighBit, &count);
    if (directory == nullptr)
        return kOutsideCopy;
    switch (search.FindEntry(directory, count, ResourceArgument(name), &entry)) {
    case CopySearch::Outcome::OutsideCopy:
        return kOutsideCopy;
    case CopySearch::Outcome::NotFound:
        return kNameNotFound;
    case CopySearch::Outcome::Found:
        break;
    }

    directory = search.Directory(Read32(entry + 4) & ~kHighBit, &count);
    if (directory == nullptr)
        return kOutsideCopy;
    entry = nullptr;
    for (std::uint32_t i = 0; i < count && entry == nullptr; ++i) {
        const std::uint8_t* candidate = directory + kDirectorySize + i * kDirectoryEntrySize;
        if (language == 0 || Read32(candidate) == language)
            entry = candidate;
    }
    if (entry == nullptr)
        return kLanguageNotFound;

    // A data entry is a leaf: a language entry that still carries the subdirectory bit points
    // nowhere the copy can hold.
    const std::uint64_t dataEntryOffset = std::uint64_t{resourceStart} + Read32(entry + 4);
    if (dataEntryOffset + kDataEntrySize > copyLength_)
        return kOutsideCopy;
    const std::uint8_t* dataEntry = copy_ + dataEntryOffset;
    const std::uint32_t delta = Read32(dataEntry) - virtualAddress;
    const std::uint32_t dataSize = Read32(dataEntry + 4);
    // Summed in 64 bits so that a huge size cannot wrap around to pass; data that would end
    // beyond the file itself is just as unusable.
    const std::uint64_t dataOffset = std::uint64_t{resourceStart} + delta;
    if (std::uint64_t{delta} + dataSize > rawSize || dataOffset + dataSize > fileLength_)
        return kBadDataEntry;
    *fileOffset = static_cast<std::uint32_t>(dataOffset);
    *size = dataSize;
    return nullptr;
}

const char* EXEImageFileObject::OpenResource(const char* type, const char* name, std::uint16_t language)
{
    if (file_ == nullptr)
        return kImageNotOpened;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    if (const char* failure = FindResourceData(type, name, language, &offset, &size))
        return failure;
    windowOffset_ = offset;
    windowLength_ = size;
    file_->SeekLarge(offset, FromBegin);
    return nullptr;
}

bool EXEImageFileObject::HasWindow() const
{
    return file_ != nullptr && (windowOffset_ != 0 || windowLength_ != 0);
}

NPLFileObject* EXEImageFileObject::Duplicate() { return nullptr; }

std::uint32_t EXEImageFileObject::Read(void* buffer, std::uint32_t count)
{
    if (!HasWindow())
        return 0;
    // Whoever moved the underlying file outside the window reads nothing through it.
    const std::uint32_t position = file_->GetPosition();
    if (position < windowOffset_ || position - windowOffset_ >= windowLength_)
        return 0;
    const std::uint32_t left = windowLength_ - (position - windowOffset_);
    return file_->Read(buffer, count < left ? count : left);
}

std::uint32_t EXEImageFileObject::Write(const void*, std::uint32_t) { return 0; }

std::uint32_t EXEImageFileObject::GetLength() { return HasWindow() ? windowLength_ : 0; }

std::uint32_t EXEImageFileObject::Seek(std::int32_t offset, std::uint32_t origin)
{
    if (!HasWindow())
        return 0;
    std::int64_t target = offset;
    if (origin == FromCurrent)
        target += GetPosition();
    else if (origin == FromEnd)
        target += windowLength_;
    if (target < 0)
        target = 0;
    if (target > windowLength_)
        target = windowLength_;
    const std::uint64_t reached = file_->SeekLarge(std::int64_t{windowOffset_} + target, FromBegin);
    return static_cast<std::uint32_t>(reached) - windowOffset_;
}

std::uint32_t EXEImageFileObject::GetPosition()
{
    if (!HasWindow())
        return 0;
    return file_->GetPosition() - windowOffset_;
}

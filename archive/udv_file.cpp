#include "archive/udv_file.h"

#include <cstring>
#include <new>

#include "archive/little_endian.h"
#include "npl/debug_trace.h"
#include "npl/heap.h"

NPL_DEFINE_CLASS(UDVFile, NPLFileObject, "UDVFile")

using npl::archive::LoadU32;
using npl::archive::LoadU64;
using npl::archive::StoreU32;
using npl::archive::StoreU64;

namespace {

constexpr char Magic[8] = { 'N', 'o', 'r', 'v', 'a', '\x1a', '\0', '\0' };

// "ファイルヘッダの書き出しに失敗しました。\n"
constexpr const char* HeaderWriteFailed = "\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x77\x83\x62\x83\x5f\x82\xcc"
                                          "\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x82\xc9\x8e\xb8\x94\x73"
                                          "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\n";
// "ファイルヘッダの読み込みに失敗しました。\n"
constexpr const char* HeaderReadFailed = "\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x77\x83\x62\x83\x5f\x82\xcc"
                                         "\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73"
                                         "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\n";
// "不正なファイルヘッダです。\n"
constexpr const char* HeaderInvalid = "\x95\x73\x90\xb3\x82\xc8\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x77"
                                      "\x83\x62\x83\x5f\x82\xc5\x82\xb7\x81\x42\n";

void EncodeRecordHeader(const RecordHeader& header, std::uint8_t* raw)
{
    std::memcpy(raw, header.id, 8);
    StoreU64(raw + 8, header.length);
}

RecordHeader DecodeRecordHeader(const std::uint8_t* raw)
{
    RecordHeader header;
    std::memcpy(header.id, raw, 8);
    header.length = LoadU64(raw + 8);
    return header;
}

void EncodeFileHeader(const FileHeader& header, std::uint8_t* raw)
{
    std::memcpy(raw, header.magic, 8);
    StoreU32(raw + 8, header.fileTypeId);
    StoreU32(raw + 12, header.reserved);
    std::memcpy(raw + 16, header.description, 32);
    EncodeRecordHeader(header.root, raw + 48);
}

FileHeader DecodeFileHeader(const std::uint8_t* raw)
{
    FileHeader header;
    std::memcpy(header.magic, raw, 8);
    header.fileTypeId = LoadU32(raw + 8);
    header.reserved = LoadU32(raw + 12);
    std::memcpy(header.description, raw + 16, 32);
    header.root = DecodeRecordHeader(raw + 48);
    return header;
}

RecordInfo* NewRecordInfo(const RecordInfo& source)
{
    void* block = nplHeapAllocate(nullptr, sizeof(RecordInfo), 0);
    return block != nullptr ? new (block) RecordInfo(source) : nullptr;
}

void DeleteRecordInfo(RecordInfo* info)
{
    info->~RecordInfo();
    nplHeapFree(nullptr, info, 0);
}

} // namespace

UDVFile::UDVFile() = default;

UDVFile::~UDVFile() { Close(); }

const char* UDVFile::DefaultDescription(std::uint32_t fileTypeId)
{
    switch (fileTypeId) {
    case 0x02000400:
        return "TOVRA-Archive file";
    case 0x03000100:
        return "Norva Rasterized Image format";
    case 0x03001100:
        return "HGX-3D surface attribute file";
    case 0x03001200:
        return "HGX-3D model object file";
    default:
        return "undefined UDV file";
    }
}

void UDVFile::SetFileHeader(FileHeader* header, std::uint32_t fileTypeId, const char* description)
{
    std::memcpy(header->magic, Magic, 8);
    header->fileTypeId = fileTypeId;
    header->reserved = 0;
    if (description == nullptr)
        description = DefaultDescription(fileTypeId);
    // The description may run on into the root record header (41 characters at most); a
    // created container overwrites that part when it closes.
    std::uint8_t tail[48] = {};
    for (std::size_t i = 0; i < 41 && description[i] != '\0'; ++i)
        tail[i] = static_cast<std::uint8_t>(description[i]);
    std::memcpy(header->description, tail, 32);
    std::memcpy(header->root.id, tail + 32, 8);
    header->root.length = LoadU64(tail + 40);
}

int UDVFile::Open(NPLFileObject* file, const FileHeader* header)
{
    Close();
    file_ = file;
    if (file == nullptr)
        return 1;
    openMode_ = file->GetOpenMode();

    std::uint8_t raw[FileHeaderSize];
    if (header != nullptr && (openMode_ & modeCreate) != 0) {
        EncodeFileHeader(*header, raw);
        if (file->Write(raw, FileHeaderSize) != FileHeaderSize) {
            DebugTrace(HeaderWriteFailed);
            return 1;
        }
        header_ = *header;
        return PushRecord(1, file->GetLargePosition(), RecordHeader {});
    }

    openMode_ &= ~static_cast<std::uint32_t>(modeCreate);
    if (file->Read(raw, FileHeaderSize) != FileHeaderSize) {
        DebugTrace(HeaderReadFailed);
        return 1;
    }
    header_ = DecodeFileHeader(raw);
    if (header_.reserved != 0 || std::memcmp(header_.magic, Magic, 8) != 0) {
        DebugTrace(HeaderInvalid);
        return 1;
    }
    const std::uint64_t start = file->GetLargePosition();
    const std::uint64_t end = file->GetLargeLength();
    RecordHeader root;
    root.length = end > start ? end - start : 0;
    return PushRecord(0, start, root);
}

void UDVFile::Close()
{
    // A duplicate shares the records with the container it was made from, which finishes
    // them; storing its possibly stale lengths would overwrite the final ones.
    if (file_ != nullptr && ownedFile_ == nullptr) {
        while (record_ != nullptr) {
            if (AscendRecord() != 0)
                break;
        }
    }
    while (record_ != nullptr)
        PopRecord();
    if (ownedFile_ != nullptr)
        delete ownedFile_;
    ownedFile_ = nullptr;
    file_ = nullptr;
}

std::uint32_t UDVFile::GetRecordDepth() const
{
    std::uint32_t depth = 0;
    for (const RecordInfo* info = record_; info != nullptr; info = info->parent)
        ++depth;
    return depth;
}

int UDVFile::PushRecord(std::uint32_t writing, std::uint64_t dataStart, const RecordHeader& header)
{
    RecordInfo source;
    source.parent = record_;
    source.writing = writing;
    source.dataStart = dataStart;
    source.header = header;
    RecordInfo* info = NewRecordInfo(source);
    if (info == nullptr)
        return 1;
    record_ = info;
    return 0;
}

void UDVFile::PopRecord()
{
    RecordInfo* info = record_;
    record_ = info->parent;
    DeleteRecordInfo(info);
}

int UDVFile::DescendRecord(const char* recordId)
{
    if (record_ == nullptr)
        return 1;
    std::uint8_t raw[RecordHeaderSize];

    if (record_->writing != 0) {
        RecordHeader header;
        if (recordId != nullptr)
            std::memcpy(header.id, recordId, 8);
        EncodeRecordHeader(header, raw);
        if (file_->Write(raw, RecordHeaderSize) != RecordHeaderSize)
            return 1;
        return PushRecord(1, file_->GetLargePosition(), header);
    }

    // Every record met must lie inside the current one; a length that says otherwise comes
    // from a damaged file and is refused rather than followed.
    const std::uint64_t parentEnd = record_->dataStart + record_->header.length;
    for (;;) {
        if (UDVFile::Read(raw, RecordHeaderSize) != RecordHeaderSize)
            return 1;
        RecordHeader header = DecodeRecordHeader(raw);
        const std::uint64_t dataStart = file_->GetLargePosition();
        if (dataStart > parentEnd || dataStart < record_->dataStart)
            return 1;
        const bool accept = recordId == nullptr || std::memcmp(recordId, header.id, 8) == 0;
        if (header.length == LengthToEndOfFile) {
            // Such a record leaves nothing after it, so one that is not wanted ends the search.
            if (!accept)
                return 1;
            const std::uint64_t fileEnd = file_->GetLargeLength();
            header.length = fileEnd > dataStart ? fileEnd - dataStart : 0;
        }
        if (header.length > parentEnd - dataStart)
            return 1;
        if (accept)
            return PushRecord(0, dataStart, header);
        const std::uint64_t next = dataStart + header.length;
        if (file_->SeekLarge(static_cast<std::int64_t>(next), FromBegin) != next)
            return 1;
    }
}

int UDVFile::AscendRecord()
{
    if (record_ == nullptr)
        return 0;
    if (record_->writing != 0) {
        const std::uint64_t position = GetLargePosition();
        if (position > record_->header.length)
            record_->header.length = position;
        std::uint8_t raw[RecordHeaderSize];
        EncodeRecordHeader(record_->header, raw);
        file_->SeekLarge(static_cast<std::int64_t>(record_->dataStart - RecordHeaderSize), FromBegin);
        (void)file_->Write(raw, RecordHeaderSize);
    }
    SeekLarge(static_cast<std::int64_t>(GetLargeLength()), FromBegin);
    PopRecord();
    return 0;
}

std::uint64_t UDVFile::RecordBytesLeft()
{
    const std::uint64_t position = file_->GetLargePosition();
    if (position < record_->dataStart)
        return 0;
    const std::uint64_t p = position - record_->dataStart;
    return p < record_->header.length ? record_->header.length - p : 0;
}

std::uint32_t UDVFile::Read(void* buffer, std::uint32_t count)
{
    if (record_ == nullptr)
        return 0;
    const std::uint64_t left = RecordBytesLeft();
    if (count > left)
        count = static_cast<std::uint32_t>(left);
    return count != 0 ? file_->Read(buffer, count) : 0;
}

std::uint32_t UDVFile::Write(const void* buffer, std::uint32_t count)
{
    if (record_ == nullptr)
        return 0;
    if (record_->writing == 0) {
        const std::uint64_t left = RecordBytesLeft();
        if (count > left)
            count = static_cast<std::uint32_t>(left);
    }
    return count != 0 ? file_->Write(buffer, count) : 0;
}

std::uint64_t UDVFile::GetLargeLength() { return record_ != nullptr ? record_->header.length : 0; }

std::uint32_t UDVFile::GetLength() { return static_cast<std::uint32_t>(GetLargeLength()); }

std::uint64_t UDVFile::GetLargePosition()
{
    return record_ != nullptr ? file_->GetLargePosition() - record_->dataStart : 0;
}

std::uint32_t UDVFile::GetPosition() { return static_cast<std::uint32_t>(GetLargePosition()); }

std::uint64_t UDVFile::SeekLarge(std::int64_t offset, std::uint32_t origin)
{
    if (record_ == nullptr)
        return 0;
    std::uint64_t& length = record_->header.length;
    const std::uint64_t p = file_->GetLargePosition() - record_->dataStart;
    const bool writing = record_->writing != 0;
    if (writing && p > length && static_cast<std::int64_t>(p) >= 0)
        length = p;

    std::uint64_t target = static_cast<std::uint64_t>(offset);
    if (origin == FromCurrent)
        target += p;
    else if (origin == FromEnd)
        target += length;

    if (writing) {
        // A target before the record's start would otherwise become a length near 2^64.
        if (static_cast<std::int64_t>(target) < 0)
            target = 0;
        if (target > length)
            length = target;
    } else if (target > length) {
        target = length;
    }
    const std::uint64_t result = file_->SeekLarge(static_cast<std::int64_t>(record_->dataStart + target), FromBegin);
    return result - record_->dataStart;
}

std::uint32_t UDVFile::Seek(std::int32_t offset, std::uint32_t origin)
{
    return static_cast<std::uint32_t>(SeekLarge(offset, origin));
}

int UDVFile::SetEndOfFile()
{
    if (record_ == nullptr)
        return 1;
    record_->header.length = GetLargePosition();
    return file_->SetEndOfFile();
}

NPLFileObject* UDVFile::Duplicate()
{
    if (record_ == nullptr)
        return nullptr;
    UDVFile* copy = new UDVFile;
    if (copy == nullptr)
        return nullptr;
    copy->openMode_ = openMode_;
    NPLFileObject* file = file_->Duplicate();
    if (file == nullptr) {
        delete copy;
        return nullptr;
    }
    copy->file_ = file;
    copy->ownedFile_ = file;
    file->SeekLarge(static_cast<std::int64_t>(file_->GetLargePosition()), FromBegin);
    copy->header_ = header_;

    RecordInfo** link = &copy->record_;
    for (const RecordInfo* source = record_; source != nullptr; source = source->parent) {
        RecordInfo* info = NewRecordInfo(*source);
        if (info == nullptr) {
            delete copy;
            return nullptr;
        }
        info->parent = nullptr;
        *link = info;
        link = &info->parent;
    }
    return copy;
}

// Reading archives, the directory stack, and the file operations on an open entry.
#include "archive/tovra_archive.h"

#include <cstring>

#include "archive/little_endian.h"
#include "npl/heap.h"

NPL_DEFINE_CLASS(TOVRAArchive, UDVFile, "TOVRAArchive")

using npl::archive::LoadU16;
using npl::archive::LoadU32;
using npl::archive::LoadU64;

namespace {

/// The directory list is read in pieces of this size, whatever its record's length.
constexpr std::uint32_t DirectoryReadChunk = 65536;

/// Reads the data of the current record of a container front to back through a buffer, so
/// that a list of thousands of entries costs a few calls on the file. Every request is checked
/// against the bytes left in the record before anything is read or allocated.
class RecordReader {
public:
    RecordReader(UDVFile& file, std::uint64_t length)
        : file_(file)
        , left_(length)
    {
        size_ = length < DirectoryReadChunk ? static_cast<std::uint32_t>(length) : DirectoryReadChunk;
        if (size_ != 0)
            buffer_ = static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, size_, 0));
    }
    ~RecordReader()
    {
        if (buffer_ != nullptr)
            nplHeapFree(nullptr, buffer_, 0);
    }
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    [[nodiscard]] bool IsReady() const { return size_ == 0 || buffer_ != nullptr; }
    [[nodiscard]] std::uint64_t Left() const { return left_; }

    /// Copies the next `count` bytes to `target`; false when the record holds fewer or the file
    /// delivers fewer.
    [[nodiscard]] bool Take(void* target, std::uint32_t count)
    {
        if (count > left_)
            return false;
        auto* out = static_cast<std::uint8_t*>(target);
        while (count != 0) {
            if (next_ == filled_ && !Refill())
                return false;
            std::uint32_t piece = filled_ - next_;
            if (piece > count)
                piece = count;
            std::memcpy(out, buffer_ + next_, piece);
            next_ += piece;
            out += piece;
            count -= piece;
            left_ -= piece;
        }
        return true;
    }

private:
    bool Refill()
    {
        std::uint32_t want = size_;
        if (want > left_)
            want = static_cast<std::uint32_t>(left_);
        if (want == 0)
            return false;
        filled_ = file_.UDVFile::Read(buffer_, want);
        next_ = 0;
        return filled_ == want;
    }

    UDVFile& file_;
    std::uint64_t left_;
    std::uint8_t* buffer_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t next_ = 0;
    std::uint32_t filled_ = 0;
};

/// A heap block that is given back when it goes out of scope.
class ScratchBlock {
public:
    explicit ScratchBlock(std::uint32_t size)
        : data_(static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, size != 0 ? size : 1, 0)))
    {
    }
    ~ScratchBlock()
    {
        if (data_ != nullptr)
            nplHeapFree(nullptr, data_, 0);
    }
    ScratchBlock(const ScratchBlock&) = delete;
    ScratchBlock& operator=(const ScratchBlock&) = delete;
    [[nodiscard]] std::uint8_t* Data() const { return data_; }

private:
    std::uint8_t* data_;
};

/// Reads one entry of a "DirEntry" record. Each variable length is checked against what is
/// left of the record before its bytes are read.
FileInfo* ReadEntry(RecordReader& reader)
{
    std::uint8_t fixed[36];
    if (!reader.Take(fixed, sizeof fixed))
        return nullptr;
    FileInfo* info = new FileInfo;
    if (info == nullptr)
        return nullptr;
    info->length = LoadU64(fixed);
    info->attribute = LoadU32(fixed + 8);
    info->encodeType = LoadU32(fixed + 12);
    info->dataOffset = LoadU64(fixed + 16);
    info->time.second = fixed[24];
    info->time.minute = fixed[25];
    info->time.hour = fixed[26];
    info->time.dayOfWeek = fixed[27];
    info->time.day = fixed[28];
    info->time.month = fixed[29];
    info->time.year = LoadU16(fixed + 30);
    const std::uint32_t extraLength = LoadU32(fixed + 32);

    bool good = true;
    // The name length field must still follow the extra information.
    if (extraLength > reader.Left() || reader.Left() - extraLength < 4) {
        good = false;
    } else if (extraLength != 0) {
        ScratchBlock extra(extraLength);
        good = extra.Data() != nullptr && reader.Take(extra.Data(), extraLength)
            && info->SetExtraInfo(extra.Data(), extraLength) == 0;
    }

    std::uint8_t field[4];
    if (good && reader.Take(field, 4)) {
        const std::uint32_t nameLength = LoadU32(field);
        // The text buffer holds one byte more than the stored name, so the largest length
        // cannot be taken even from a record of more than 4 GiB.
        if (nameLength > reader.Left() || nameLength == UINT32_MAX) {
            good = false;
        } else if (nameLength != 0) {
            // The stored name ends at its first zero byte, wherever that is.
            ScratchBlock text(nameLength + 1);
            good = text.Data() != nullptr && reader.Take(text.Data(), nameLength);
            if (good) {
                text.Data()[nameLength] = 0;
                good = info->SetName(reinterpret_cast<const char*>(text.Data())) == 0;
            }
        }
    } else {
        good = false;
    }
    if (!good) {
        delete info;
        return nullptr;
    }
    return info;
}

} // namespace

TOVRAArchive::TOVRAArchive() = default;

TOVRAArchive::~TOVRAArchive() { Close(); }

int TOVRAArchive::OnProgress(std::uint32_t, std::uint32_t) { return 0; }

bool TOVRAArchive::IsWriting() const { return directory_ != nullptr && directory_->writing != 0; }

int TOVRAArchive::Open(NPLFileObject* file, const EDirectory* entryList)
{
    Close();
    if (entryList != nullptr && file != nullptr && (file->GetOpenMode() & modeCreate) != 0)
        return OpenArchiveForWriting(file, entryList);

    const int result = UDVFile::Open(file, nullptr);
    if (result != 0) {
        UDVFile::Close();
        return result;
    }
    if (ReadDirectoryLevel() != 0) {
        UDVFile::Close();
        return 1;
    }
    depth_ = 0;
    return 0;
}

void TOVRAArchive::Close()
{
    if (openEntry_ != nullptr)
        (void)CloseEntry();
    while (directory_ != nullptr) {
        if (directory_->writing != 0) {
            UDVFile::SeekLarge(0, FromBegin);
            if (WriteDirectory() != 0)
                break;
        }
        PopDirectory();
        if (directory_ != nullptr && AscendRecord() != 0)
            break;
    }
    while (directory_ != nullptr)
        PopDirectory();
    depth_ = 0;
    UDVFile::Close();
}

void TOVRAArchive::PopDirectory()
{
    EDirectory* finished = directory_;
    directory_ = finished->parent;
    delete finished;
    if (depth_ != 0)
        --depth_;
}

int TOVRAArchive::ReadDirectoryLevel()
{
    const std::uint64_t levelLength = UDVFile::GetLargeLength();
    if (DescendRecord(nullptr) != 0)
        return 1;
    if (std::memcmp(record_->header.id, DirEntryId, 8) != 0) {
        AscendRecord();
        return 1;
    }

    EDirectory* directory = new EDirectory;
    bool good = directory != nullptr;
    if (good) {
        RecordReader reader(*this, UDVFile::GetLargeLength());
        std::uint8_t field[4];
        good = reader.IsReady() && reader.Take(field, 4);
        const std::uint32_t count = good ? LoadU32(field) : 0;
        // Room is reserved only for as many entries as the record can really hold.
        if (good && count > reader.Left() / MinimumEntrySize)
            good = false;
        if (good && !directory->SetCapacity(count))
            good = false;
        for (std::uint32_t i = 0; good && i < count; ++i) {
            FileInfo* info = ReadEntry(reader);
            if (info == nullptr) {
                good = false;
            } else if (info->dataOffset > levelLength - RecordHeaderSize) {
                // Every entry's record header must lie inside this level's record.
                delete info;
                good = false;
            } else {
                good = directory->File(info, false) == 0;
            }
        }
    }
    AscendRecord();
    if (!good) {
        delete directory;
        return 1;
    }
    directory->parent = directory_;
    directory_ = directory;
    return 0;
}

int TOVRAArchive::GetFileEntries(EDirectory* list) const
{
    if (directory_ == nullptr || list == nullptr)
        return 1;
    return list->AddEntries(directory_);
}

int TOVRAArchive::EnterEntryRecord(const FileInfo& info)
{
    const std::uint64_t offset = info.dataOffset;
    if (UDVFile::SeekLarge(static_cast<std::int64_t>(offset), FromBegin) != offset)
        return 1;
    return DescendRecord(nullptr);
}

int TOVRAArchive::DescendDirectory(const char* name, const EDirectory* entryList)
{
    if (openEntry_ != nullptr)
        (void)CloseEntry();
    if (directory_ == nullptr || depth_ >= MaxDirectoryDepth)
        return 1;
    if (directory_->writing != 0)
        return DescendDirectoryForWriting(name, entryList);

    const FileInfo* info = directory_->FindEntry(name);
    if (info == nullptr || !info->IsDirectory())
        return 1;
    if (EnterEntryRecord(*info) != 0)
        return 1;
    if (ReadDirectoryLevel() != 0) {
        AscendRecord();
        return 1;
    }
    directory_->name = info->GetName();
    ++depth_;
    return 0;
}

int TOVRAArchive::AscendDirectory()
{
    if (openEntry_ != nullptr)
        (void)CloseEntry();
    // The root has no level above it; leaving it is what Close does.
    if (directory_ == nullptr || directory_->parent == nullptr)
        return 0;
    if (directory_->writing != 0) {
        UDVFile::SeekLarge(0, FromBegin);
        if (WriteDirectory() != 0)
            return 1;
    }
    PopDirectory();
    return AscendRecord();
}

int TOVRAArchive::OpenEntry(const char* name, const char* password, std::uint32_t streaming)
{
    (void)password;
    (void)streaming;
    if (openEntry_ != nullptr)
        (void)CloseEntry();
    if (directory_ == nullptr)
        return 1;
    if (directory_->writing != 0)
        return OpenEntryForWriting(name);

    FileInfo* info = directory_->FindEntry(name);
    if (info == nullptr || info->IsDirectory())
        return 1;
    if (EnterEntryRecord(*info) != 0)
        return 1;
    // Coded entries need the decoders, which this archive does not have yet. Content stored
    // unchanged must really be there: an entry longer than its record would read short.
    if (info->encodeType != FileInfo::EncodeRaw || info->length > record_->header.length) {
        AscendRecord();
        return 1;
    }
    openEntry_ = info;
    return 0;
}

int TOVRAArchive::CloseEntry()
{
    if (openEntry_ == nullptr)
        return 0;
    if (record_ != nullptr && record_->writing != 0)
        openEntry_->length = GetLargeLength();
    openEntry_ = nullptr;
    AscendRecord();
    return 0;
}

std::uint32_t TOVRAArchive::Read(void* buffer, std::uint32_t count)
{
    if (openEntry_ != nullptr && record_->writing == 0) {
        // Reads stop at the entry's length even when its record holds more (and at the record's
        // end, should it have been cut since). A file moved outside the record reads nothing.
        std::uint64_t end = openEntry_->length;
        if (end > record_->header.length)
            end = record_->header.length;
        const std::uint64_t position = UDVFile::GetLargePosition();
        const std::uint64_t left = position < end ? end - position : 0;
        if (count > left)
            count = static_cast<std::uint32_t>(left);
        return count != 0 ? file_->Read(buffer, count) : 0;
    }
    return UDVFile::Read(buffer, count);
}

std::uint64_t TOVRAArchive::GetLargeLength()
{
    if (openEntry_ != nullptr) {
        if (record_->writing == 0)
            return openEntry_->length;
        const std::uint64_t position = UDVFile::GetLargePosition();
        if (position > record_->header.length)
            record_->header.length = position;
    }
    return UDVFile::GetLargeLength();
}

std::uint32_t TOVRAArchive::GetLength() { return static_cast<std::uint32_t>(GetLargeLength()); }

NPLFileObject* TOVRAArchive::Duplicate() { return UDVFile::Duplicate(); }

NPLFileObject* TOVRAArchive::OpenRelative(const char16_t* name, std::uint32_t mode)
{
    (void)mode;
    // A duplicate of an archive being created would write record headers of its own.
    if (directory_ == nullptr || directory_->writing != 0 || name == nullptr)
        return nullptr;
    const EString text(name, -1);
    const FileInfo* info = directory_->FindEntry(text.GetText());
    if (info == nullptr)
        return nullptr;
    const std::uint64_t before = file_->GetLargePosition();
    UDVFile* copy = static_cast<UDVFile*>(UDVFile::Duplicate());
    if (copy == nullptr)
        return nullptr;
    if (openEntry_ != nullptr)
        copy->AscendRecord();
    const std::uint64_t offset = info->dataOffset;
    if (copy->SeekLarge(static_cast<std::int64_t>(offset), FromBegin) != offset || copy->DescendRecord(nullptr) != 0) {
        delete copy;
        copy = nullptr;
    }
    // A duplicate that shares the file's position has just moved it: put it back.
    if (file_->GetLargePosition() != before)
        file_->SeekLarge(static_cast<std::int64_t>(before), FromBegin);
    return copy;
}

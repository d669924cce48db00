// Creating archives: each directory list is written when its level starts and again, with the
// data offsets and lengths filled in, when the level is finished.
#include <cstring>

#include "archive/little_endian.h"
#include "archive/tovra_archive.h"
#include "npl/heap.h"

using npl::archive::StoreU16;
using npl::archive::StoreU32;
using npl::archive::StoreU64;

namespace {

constexpr std::uint32_t DirectoryWriteChunk = 65536;

/// Collects the bytes of a directory list and hands them to the container in large pieces,
/// so a list of thousands of entries costs a few calls on the file. Remembers whether every
/// byte was taken.
class RecordWriter {
public:
    explicit RecordWriter(UDVFile& file)
        : file_(file)
        , buffer_(static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, DirectoryWriteChunk, 0)))
    {
        good_ = buffer_ != nullptr;
    }
    ~RecordWriter()
    {
        if (buffer_ != nullptr)
            nplHeapFree(nullptr, buffer_, 0);
    }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void Put(const void* data, std::uint32_t count)
    {
        const auto* in = static_cast<const std::uint8_t*>(data);
        while (good_ && count != 0) {
            std::uint32_t piece = DirectoryWriteChunk - used_;
            if (piece > count)
                piece = count;
            std::memcpy(buffer_ + used_, in, piece);
            used_ += piece;
            in += piece;
            count -= piece;
            if (used_ == DirectoryWriteChunk)
                Flush();
        }
    }
    void PutU32(std::uint32_t value)
    {
        std::uint8_t raw[4];
        StoreU32(raw, value);
        Put(raw, 4);
    }
    /// Writes what is collected; true when every byte so far was taken.
    bool Flush()
    {
        if (good_ && used_ != 0)
            good_ = file_.UDVFile::Write(buffer_, used_) == used_;
        used_ = 0;
        return good_;
    }

private:
    UDVFile& file_;
    std::uint8_t* buffer_;
    std::uint32_t used_ = 0;
    bool good_ = true;
};

} // namespace

int TOVRAArchive::OpenArchiveForWriting(NPLFileObject* file, const EDirectory* entryList)
{
    FileHeader header;
    SetFileHeader(&header, FileTypeId, nullptr);
    if (UDVFile::Open(file, &header) != 0) {
        UDVFile::Close();
        return 1;
    }
    EDirectory* root = new EDirectory;
    if (root == nullptr) {
        UDVFile::Close();
        return 1;
    }
    root->writing = 1;
    directory_ = root;
    depth_ = 0;
    if (root->AddEntries(entryList) != 0 || WriteDirectory() != 0)
        return 1;
    return 0;
}

int TOVRAArchive::WriteDirectory()
{
    if (DescendRecord(DirEntryId) != 0)
        return 1;
    RecordWriter writer(*this);
    const std::uint32_t count = directory_->GetCount();
    writer.PutU32(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const FileInfo* info = directory_->GetInfo(i);
        std::uint8_t fixed[36];
        StoreU64(fixed, info->length);
        StoreU32(fixed + 8, info->attribute);
        StoreU32(fixed + 12, info->encodeType);
        StoreU64(fixed + 16, info->dataOffset);
        fixed[24] = info->time.second;
        fixed[25] = info->time.minute;
        fixed[26] = info->time.hour;
        fixed[27] = info->time.dayOfWeek;
        fixed[28] = info->time.day;
        fixed[29] = info->time.month;
        StoreU16(fixed + 30, info->time.year);
        StoreU32(fixed + 32, info->GetExtraInfoLength());
        writer.Put(fixed, sizeof fixed);
        if (info->GetExtraInfoLength() != 0)
            writer.Put(info->GetExtraInfo(), info->GetExtraInfoLength());
        writer.PutU32(info->GetNameLength());
        if (info->GetNameLength() != 0)
            writer.Put(info->GetName(), info->GetNameLength());
    }
    const bool written = writer.Flush();
    AscendRecord();
    return written ? 0 : 1;
}

int TOVRAArchive::DescendDirectoryForWriting(const char* name, const EDirectory* entryList)
{
    FileInfo* info = directory_->FindEntry(name);
    if (info == nullptr || !info->IsDirectory())
        return 1;
    EDirectory* directory = new EDirectory;
    if (directory == nullptr)
        return 1;
    directory->writing = 1;
    directory->name = info->GetName();
    if (directory->AddEntries(entryList) != 0) {
        delete directory;
        return 1;
    }
    const std::uint64_t offset = UDVFile::GetLargePosition();
    if (DescendRecord(FileDataId) != 0) {
        delete directory;
        return 1;
    }
    directory->parent = directory_;
    directory_ = directory;
    ++depth_;
    if (WriteDirectory() != 0) {
        PopDirectory();
        AscendRecord();
        return 1;
    }
    info->dataOffset = offset;
    return 0;
}

int TOVRAArchive::OpenEntryForWriting(const char* name)
{
    FileInfo* info = directory_->FindEntry(name);
    if (info == nullptr || info->IsDirectory())
        return 1;
    // Coded entries need the encoders, which this archive does not have yet; refusing before
    // the record is started leaves nothing behind in the file.
    if (info->encodeType != FileInfo::EncodeRaw)
        return 1;
    const std::uint64_t offset = UDVFile::GetLargePosition();
    if (DescendRecord(FileDataId) != 0)
        return 1;
    info->dataOffset = offset;
    openEntry_ = info;
    return 0;
}

#include "file/raw_file.h"

#include "file/combine_path.h"
#include "npl/wide_string.h"

using npl::platform::DiskCreation;
using npl::platform::DiskFileHandle;
using npl::platform::kInvalidDiskFile;
using npl::platform::LockGuard;

NPL_DEFINE_CLASS(ERawFile, NPLFileObject, "ERawFile")

namespace {

std::uint32_t AccessOf(std::uint32_t mode)
{
    std::uint32_t access = 0;
    if (mode & NPLFileObject::modeRead)
        access |= npl::platform::DiskAccessRead;
    if (mode & NPLFileObject::modeWrite)
        access |= npl::platform::DiskAccessWrite;
    return access;
}

std::uint32_t ShareOf(std::uint32_t mode)
{
    std::uint32_t share = 0;
    if (mode & NPLFileObject::modeShareRead)
        share |= npl::platform::DiskShareRead;
    if (mode & NPLFileObject::modeShareWrite)
        share |= npl::platform::DiskShareWrite;
    return share;
}

// The room first offered for the absolute path; a longer one is asked for again at its size.
constexpr std::uint32_t kFirstPathRoom = 256;

} // namespace

ERawFile::ERawFile() = default;

ERawFile::~ERawFile() { Close(); }

int ERawFile::Open(const char* path, std::uint32_t mode)
{
    LockGuard guard(lock_);
    Close();
    if (path == nullptr || path[0] == '\0')
        return 1;
    if (path[1] == ':') {
        // Asking about the drive first keeps a missing drive from reaching the open at all.
        char root[] = "A:\\";
        root[0] = path[0];
        if (!npl::platform::DiskDriveExists(root))
            return 1;
    }
    DiskCreation creation = (mode & modeCreate) ? DiskCreation::CreateAlways : DiskCreation::OpenExisting;
    DiskFileHandle handle = npl::platform::OpenDiskFile(path, AccessOf(mode), ShareOf(mode), creation);
    if (handle == kInvalidDiskFile)
        return 1;
    handle_ = handle;
    openMode_ = mode;
    position_ = 0;
    positionShared_ = false;
    RecordFullPath(path);
    return 0;
}

void ERawFile::RecordFullPath(const char* path)
{
    EString full;
    if (full.AllocBuffer(kFirstPathRoom)) {
        std::uint32_t size = npl::platform::GetFullDiskPath(path, full.GetBuffer(), kFirstPathRoom);
        if (size > kFirstPathRoom && full.AllocBuffer(size))
            size = npl::platform::GetFullDiskPath(path, full.GetBuffer(), size);
        if (size != 0 && size < full.GetCapacity()) {
            full.UpdateLength();
            path_ = static_cast<EString&&>(full);
            return;
        }
    }
    // The file is open but its absolute path could not be had: the path as given still names
    // it, as long as the current folder stays.
    path_ = path;
}

void ERawFile::Close()
{
    LockGuard guard(lock_);
    npl::platform::CloseDiskFile(handle_);
    handle_ = kInvalidDiskFile;
    openMode_ = 0;
}

NPLFileObject* ERawFile::Duplicate()
{
    LockGuard guard(lock_);
    // A closed file has nothing to duplicate; handing out an object without a file would
    // report failure as success.
    if (handle_ == kInvalidDiskFile)
        return nullptr;
    ERawFile* copy = new ERawFile;
    if (copy == nullptr)
        return nullptr;
    copy->path_ = path_;
    DiskFileHandle handle = kInvalidDiskFile;
    if ((openMode_ & modeRead) && !path_.IsEmpty()) {
        // Opening again never truncates: the creation flag is not passed on.
        handle = npl::platform::OpenDiskFile(
            path_.GetText(), AccessOf(openMode_), ShareOf(openMode_), DiskCreation::OpenExisting);
    }
    if (handle == kInvalidDiskFile) {
        handle = npl::platform::DuplicateDiskFile(handle_);
        if (handle != kInvalidDiskFile)
            positionShared_ = copy->positionShared_ = true;
    }
    if (handle == kInvalidDiskFile) {
        delete copy;
        return nullptr;
    }
    copy->handle_ = handle;
    copy->openMode_ = openMode_;
    return copy;
}

std::uint32_t ERawFile::Read(void* buffer, std::uint32_t count)
{
    LockGuard guard(lock_);
    return Advance(npl::platform::ReadDiskFile(handle_, buffer, count));
}

std::uint32_t ERawFile::Write(const void* buffer, std::uint32_t count)
{
    LockGuard guard(lock_);
    return Advance(npl::platform::WriteDiskFile(handle_, buffer, count));
}

std::uint32_t ERawFile::Advance(std::uint32_t transferred)
{
    position_ += transferred;
    return transferred;
}

std::uint32_t ERawFile::GetLength() { return static_cast<std::uint32_t>(GetLargeLength()); }

std::uint32_t ERawFile::Seek(std::int32_t offset, std::uint32_t origin)
{
    return static_cast<std::uint32_t>(SeekLarge(offset, origin));
}

std::uint32_t ERawFile::GetPosition() { return static_cast<std::uint32_t>(GetLargePosition()); }

int ERawFile::SetEndOfFile()
{
    LockGuard guard(lock_);
    return npl::platform::SetDiskFileEnd(handle_) ? 0 : 1;
}

std::uint64_t ERawFile::GetLargeLength()
{
    LockGuard guard(lock_);
    std::uint64_t length = 0;
    return npl::platform::GetDiskFileLength(handle_, &length) ? length : 0;
}

std::uint64_t ERawFile::SeekLarge(std::int64_t offset, std::uint32_t origin)
{
    LockGuard guard(lock_);
    std::uint64_t position = 0;
    if (!npl::platform::SeekDiskFile(handle_, offset, origin, &position))
        return 0;
    position_ = position;
    return position;
}

std::uint64_t ERawFile::GetLargePosition()
{
    {
        LockGuard guard(lock_);
        if (handle_ != kInvalidDiskFile && !positionShared_)
            return position_;
    }
    return SeekLarge(0, FromCurrent);
}

NPLFileObject* ERawFile::OpenRelative(const char16_t* name, std::uint32_t mode)
{
    EString folder;
    {
        LockGuard guard(lock_);
        folder = path_.GetFileDirectory();
    }
    EWideString wideFolder(folder.GetText(), -1);
    EWideString combined = CombinePath(wideFolder.GetText(), name);
    EString path(combined.GetText(), -1);
    ERawFile* file = new ERawFile;
    if (file == nullptr)
        return nullptr;
    if (file->Open(path.GetText(), mode) != 0) {
        delete file;
        return nullptr;
    }
    return file;
}

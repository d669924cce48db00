#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "npl/platform/code_page.h"
#include "npl/platform/disk_file.h"

namespace npl::platform {

namespace {

int Descriptor(DiskFileHandle file) { return static_cast<int>(file); }

// The library writes Windows paths, where '\' separates folders as '/' does. A trail byte of a
// double-byte character that happens to be 0x5C is part of its character, not a separator.
std::string ToPosixPath(const char* path)
{
    std::string result;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        unsigned char byte = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(byte) && path[i + 1] != '\0') {
            result += path[i];
            result += path[++i];
        } else {
            result += byte == '\\' ? '/' : path[i];
        }
    }
    return result;
}

// Opens without waiting (a FIFO would block an ordinary open) and refuses folders, which the
// Windows open refuses too. The descriptor is then made blocking again.
int OpenChecked(const std::string& path, int flags, mode_t permissions)
{
    int fd = open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, permissions);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        errno = EISDIR;
        return -1;
    }
    if ((flags & O_PATH) == 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

DiskFileHandle OpenDiskFile(const char* path, std::uint32_t access, std::uint32_t, DiskCreation creation)
{
    std::string posixPath = ToPosixPath(path);
    int flags = 0;
    if ((access & DiskAccessRead) && (access & DiskAccessWrite))
        flags = O_RDWR;
    else if (access & DiskAccessRead)
        flags = O_RDONLY;
    else if (access & DiskAccessWrite)
        flags = O_WRONLY;
    else {
        // Neither reading nor writing: a descriptor that only names the file. Creation needs
        // a writable open first, which empties or makes the file as Windows would.
        if (creation == DiskCreation::CreateAlways) {
            int created = OpenChecked(posixPath, O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (created < 0)
                return kInvalidDiskFile;
            close(created);
        }
        int fd = OpenChecked(posixPath, O_PATH, 0);
        return fd < 0 ? kInvalidDiskFile : fd;
    }
    if (creation == DiskCreation::CreateAlways)
        flags |= O_CREAT | O_TRUNC;
    int fd = OpenChecked(posixPath, flags, 0666);
    return fd < 0 ? kInvalidDiskFile : fd;
}

void CloseDiskFile(DiskFileHandle file)
{
    if (file != kInvalidDiskFile)
        close(Descriptor(file));
}

// A disk file read or write through Windows moves the whole count; POSIX may move less per
// call (signals, the per-call cap), so the calls are repeated until the count is done, the end
// of the file is reached, or the system refuses.
std::uint32_t ReadDiskFile(DiskFileHandle file, void* buffer, std::uint32_t count)
{
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t n = read(Descriptor(file), static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::uint32_t>(n);
    }
    return done;
}

std::uint32_t WriteDiskFile(DiskFileHandle file, const void* buffer, std::uint32_t count)
{
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t n = write(Descriptor(file), static_cast<const char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::uint32_t>(n);
    }
    return done;
}

bool SeekDiskFile(DiskFileHandle file, std::int64_t offset, std::uint32_t origin, std::uint64_t* position)
{
    // Only the three Windows origins; Linux gives other numbers meanings of its own.
    int whence = 0;
    switch (origin) {
    case 0:
        whence = SEEK_SET;
        break;
    case 1:
        whence = SEEK_CUR;
        break;
    case 2:
        whence = SEEK_END;
        break;
    default:
        return false;
    }
    off_t result = lseek(Descriptor(file), static_cast<off_t>(offset), whence);
    if (result < 0)
        return false;
    *position = static_cast<std::uint64_t>(result);
    return true;
}

bool GetDiskFileLength(DiskFileHandle file, std::uint64_t* length)
{
    struct stat status;
    if (fstat(Descriptor(file), &status) != 0)
        return false;
    *length = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool SetDiskFileEnd(DiskFileHandle file)
{
    off_t position = lseek(Descriptor(file), 0, SEEK_CUR);
    return position >= 0 && ftruncate(Descriptor(file), position) == 0;
}

DiskFileHandle DuplicateDiskFile(DiskFileHandle file)
{
    int copy = dup(Descriptor(file));
    return copy < 0 ? kInvalidDiskFile : copy;
}

std::uint32_t GetFullDiskPath(const char* path, char* buffer, std::uint32_t capacity)
{
    if (path == nullptr || path[0] == '\0')
        return 0;
    std::string posixPath = ToPosixPath(path);
    std::string full;
    if (posixPath[0] != '/') {
        std::string folder(256, '\0');
        while (getcwd(folder.data(), folder.size()) == nullptr) {
            if (errno != ERANGE)
                return 0;
            folder.resize(folder.size() * 2);
        }
        folder.resize(std::strlen(folder.c_str()));
        full = folder == "/" ? std::string() : folder;
    }
    // Text only: "." and empty components go, ".." stays, since a symbolic link before it
    // would make dropping it name another file.
    std::size_t start = 0;
    while (start <= posixPath.size()) {
        std::size_t end = posixPath.find('/', start);
        if (end == std::string::npos)
            end = posixPath.size();
        std::size_t partLength = end - start;
        bool dot = partLength == 1 && posixPath[start] == '.';
        if (partLength != 0 && !dot) {
            full += '/';
            full.append(posixPath, start, partLength);
        }
        start = end + 1;
    }
    // The root stays "/", and a folder named with a trailing separator stays recognisable.
    if (full.empty() || posixPath.back() == '/')
        full.push_back('/');
    if (full.size() > 0xFFFFFFF0u)
        return 0;
    std::uint32_t length = static_cast<std::uint32_t>(full.size());
    if (buffer == nullptr || length + 1 > capacity)
        return length + 1;
    std::memcpy(buffer, full.c_str(), length + 1);
    return length;
}

bool DiskDriveExists(const char*) { return true; }

} // namespace npl::platform

// Shared pieces of the archive tests: byte sources over disk files and memory files, so that
// every behaviour can be checked on both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive_bytes.h"
#include "file/file_object.h"
#include "file/memory_file.h"
#include "file/raw_file.h"
#include "tests/support/temp_folder.h"
#include "tests/support/file_object_helpers.h"

namespace npl::test {

constexpr std::uint32_t kModeRead = NPLFileObject::modeRead | NPLFileObject::modeShareRead;
constexpr std::uint32_t kModeCreate = NPLFileObject::modeCreate | NPLFileObject::modeRead | NPLFileObject::modeWrite;

inline std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

/// An open memory file holding `bytes`, positioned at 0.
inline std::unique_ptr<EMemoryFile> MemoryFileWith(const Bytes& bytes)
{
    auto file = std::make_unique<EMemoryFile>();
    (void)file->Create(static_cast<std::uint32_t>(bytes.size()));
    if (!bytes.empty())
        (void)file->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    (void)file->Seek(0, NPLFileObject::FromBegin);
    return file;
}

inline Bytes MemoryFileBytes(EMemoryFile& file)
{
    const std::uint8_t* data = file.GetData();
    return data != nullptr ? Bytes(data, data + file.GetLength()) : Bytes();
}

/// Everything left to read from `file`, in pieces of `piece` bytes.
inline Bytes ReadAll(NPLFileObject& file, std::uint32_t piece = 65536)
{
    Bytes out;
    Bytes buffer(piece);
    for (;;) {
        const std::uint32_t got = file.Read(buffer.data(), piece);
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        if (got == 0)
            return out;
    }
}

/// Where a test keeps its bytes: a file on disk in the test's own folder, or memory.
enum class Medium { Disk, Memory };

inline const char* MediumName(const ::testing::TestParamInfo<Medium>& info)
{
    return info.param == Medium::Disk ? "Disk" : "Memory";
}

/// A byte source for one test: `Load` puts bytes into it and opens it for reading; `Create`
/// opens an empty one for writing; `Contents` gives the bytes it holds.
class TestMedium {
public:
    explicit TestMedium(Medium medium)
        : medium_(medium)
    {
    }

    NPLFileObject& Load(const Bytes& bytes)
    {
        // Whatever was loaded before goes first: Windows refuses to replace an open file.
        raw_.reset();
        if (medium_ == Medium::Memory) {
            memory_ = MemoryFileWith(bytes);
            return *memory_;
        }
        WriteWholeFile(folder_.Path() / "archive.bin", ToString(bytes));
        raw_ = std::make_unique<ERawFile>();
        EXPECT_EQ(raw_->Open(folder_.Narrow("archive.bin").c_str(), kModeRead), 0);
        return *raw_;
    }

    NPLFileObject& Create()
    {
        raw_.reset();
        if (medium_ == Medium::Memory) {
            memory_ = std::make_unique<EMemoryFile>();
            (void)memory_->Create(0);
            return *memory_;
        }
        raw_ = std::make_unique<ERawFile>();
        EXPECT_EQ(raw_->Open(folder_.Narrow("archive.bin").c_str(), kModeCreate), 0);
        return *raw_;
    }

    Bytes Contents()
    {
        if (medium_ == Medium::Memory)
            return MemoryFileBytes(*memory_);
        // Windows lets nobody else read a file opened without modeShareRead.
        if (raw_ != nullptr)
            raw_->Close();
        return ToBytes(ReadWholeFile(folder_.Path() / "archive.bin"));
    }

    TempFolder& Folder() { return folder_; }

private:
    Medium medium_;
    TempFolder folder_;
    std::unique_ptr<EMemoryFile> memory_;
    std::unique_ptr<ERawFile> raw_;
};

} // namespace npl::test

// A read-only window on one resource inside a PE executable (PE32 or PE32+), found by reading
// the file's own headers and resource directory through any file object: the executable is
// never loaded as a module.
#pragma once

#include <cstdint>

#include "file/file_object.h"

/// Opened in two steps: OpenPEImageFile reads the headers and copies everything before the
/// first resource data byte into memory; OpenResource then searches that copy and makes the
/// resource's bytes the object's content. Failures come back as message texts (null means
/// success); the texts are part of the interface.
///
/// The window keeps no position of its own: its position is the underlying file's, so
/// anything else that moves the underlying file moves the window too. The underlying file is
/// never owned: Close and the destructor leave it open. No lock of its own is taken; the
/// underlying file locks each of its own calls.
class EXEImageFileObject : public NPLFileObject {
    NPL_DECLARE_CLASS(NPLFileObject)

public:
    EXEImageFileObject() = default;
    ~EXEImageFileObject() override;

    /// Turns a 16-bit resource identifier into the pointer-sized argument of OpenResource and
    /// FindResourceData (an argument whose high 16 bits are zero is an identifier).
    [[nodiscard]] static const char* ResourceId(std::uint16_t id)
    {
        return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
    }

    /// Reads the headers of `file` (positioned at its start) and keeps the bytes before the
    /// first resource data in memory. Null when the image is usable, otherwise the text
    /// "有効な PE イメージファイルではありません。". Closes whatever was open first; the file
    /// stays recorded even when the image is refused.
    [[nodiscard]] const char* OpenPEImageFile(NPLFileObject* file);

    /// Makes the resource `type` / `name` / `language` the object's content, positioned at its
    /// first byte. `type` and `name` are zero-terminated 8-bit texts in the ANSI code page,
    /// compared with the stored UTF-16 names unit by unit and case-sensitively, or identifiers
    /// made by ResourceId. `language` 0 takes the first language listed. Null on success;
    /// otherwise a message text, and the previous window stays as it was.
    [[nodiscard]] const char* OpenResource(const char* type, const char* name, std::uint16_t language);

    /// The directory search of OpenResource, done on the in-memory copy only: on success (null)
    /// stores the data's file offset and size. The data itself need not lie inside the copy.
    [[nodiscard]] const char* FindResourceData(const char* type, const char* name, std::uint16_t language,
                                               std::uint32_t* fileOffset, std::uint32_t* size) const;

    /// Releases the copy, forgets the underlying file, clears the header pointers and the
    /// window.
    void Close();

    /// Not supported: always null.
    [[nodiscard]] NPLFileObject* Duplicate() override;
    /// Reads at most up to the window's end from the underlying file.
    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    /// Read-only: always 0.
    std::uint32_t Write(const void* buffer, std::uint32_t count) override;
    /// The window length.
    std::uint32_t GetLength() override;
    /// Window-relative; the target is clamped to 0 .. window length. Other origin values count
    /// from the beginning.
    std::uint32_t Seek(std::int32_t offset, std::uint32_t origin) override;
    /// The underlying file's position relative to the window's start.
    std::uint32_t GetPosition() override;

    /// The pieces of the copy, for inspection; null while no image is open.
    [[nodiscard]] const std::uint8_t* GetFileHeader() const { return fileHeader_; }
    [[nodiscard]] const std::uint8_t* GetOptionalHeader() const { return optionalHeader_; }
    [[nodiscard]] const std::uint8_t* GetSectionTable() const { return sectionTable_; }
    [[nodiscard]] const std::uint8_t* GetResourceSectionHeader() const { return resourceSection_; }
    /// Bytes held by the copy: the file's bytes before the first resource data.
    [[nodiscard]] std::uint32_t GetImageCopyLength() const { return copyLength_; }
    [[nodiscard]] std::uint32_t GetWindowOffset() const { return windowOffset_; }

private:
    [[nodiscard]] bool HasWindow() const;

    NPLFileObject* file_ = nullptr; ///< not owned
    std::uint8_t* copy_ = nullptr;  ///< global heap; the file's bytes [0, copyLength_)
    std::uint32_t copyLength_ = 0;
    std::uint32_t fileLength_ = 0;
    const std::uint8_t* fileHeader_ = nullptr;
    const std::uint8_t* optionalHeader_ = nullptr;
    const std::uint8_t* sectionTable_ = nullptr;
    const std::uint8_t* resourceSection_ = nullptr; ///< the resource section's 40-byte header
    std::uint32_t windowOffset_ = 0;
    std::uint32_t windowLength_ = 0;
};

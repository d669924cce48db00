// One open key of the Windows registry, read and written as 8-bit text in the ANSI code page.
#pragma once

#include <cstdint>

#include "npl/object.h"
#include "npl/platform/registry.h"
#include "npl/string.h"

/// Results follow the library's convention: 0 = success, 1 = failure. Nothing is shown and no
/// error code is kept; the caller decides what a failure means. No lock: one thread at a time.
class ERegistryKey : public NPLObject {
    NPL_DECLARE_CLASS(NPLObject)

public:
    /// Nothing open: null handle.
    ERegistryKey() = default;
    ERegistryKey(const ERegistryKey&) = delete;
    ERegistryKey& operator=(const ERegistryKey&) = delete;
    /// Closes the key.
    ~ERegistryKey() override;

    /// Closes whatever was open, then opens `subKey` under `root` (a predefined root such as
    /// kRegistryLocalMachine, or another open key) with the access mask `access`. 1 when the
    /// system refuses (missing key, access refused, bad root); the object is then closed.
    [[nodiscard]] int Open(npl::platform::RegistryKey root, const char* subKey, std::uint32_t access);

    /// Closes an open key. When the system refuses, the key stays marked open, so a later Close
    /// tries again. Does nothing on a key that is not open.
    void Close();

    /// The value `valueName` as text up to its first zero byte, whatever its type (a REG_DWORD
    /// gives its four bytes, a REG_EXPAND_SZ its unexpanded text). `defaultText` when the value
    /// is missing or unreadable or the key is not open. The caller opens the key first.
    [[nodiscard]] EString GetString(const char* valueName, const char* defaultText);

    /// Writes `text` (null counts as empty) as a REG_SZ value of its length plus the
    /// terminating zero. 1 when the system refuses (no write access, key not open).
    [[nodiscard]] int SetString(const char* valueName, const char* text);

    [[nodiscard]] bool IsOpen() const { return open_ != 0; }
    /// The key opened last; it keeps its value after a close, when only IsOpen tells that it is
    /// no longer valid.
    [[nodiscard]] npl::platform::RegistryKey GetHandle() const { return handle_; }

private:
    npl::platform::RegistryKey handle_ = nullptr;
    int open_ = 0; ///< non-zero while the handle is open and owned by this object
};

// Runs against the real registry of the Wine prefix (or of Windows): every test creates its own
// key under HKEY_LOCAL_MACHINE and deletes it afterwards.
#include <windows.h>
// <windows.h> turns GetClassName into GetClassNameA, which would hide the library's own.
#undef GetClassName

#include "npl/registry_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using npl::platform::RegistryKey;

const char kParent[] = "SOFTWARE\\NplRegistryKeyTest";

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string(kParent) + "\\" + info->name() + "-" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
        ASSERT_EQ(Create(path_, nullptr), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        key_.Close();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kParent); // only when no other test's key is left
    }

    /// Creates `path` with the class text `classText` (may be null) through the system itself.
    static LONG Create(const std::string& path, const char* classText)
    {
        HKEY created = nullptr;
        const LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, const_cast<char*>(classText), 0,
                                            KEY_ALL_ACCESS, nullptr, &created, nullptr);
        if (status == ERROR_SUCCESS)
            RegCloseKey(created);
        return status;
    }

    /// Writes a value through the system itself.
    void Put(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    void PutText(const char* name, const char* text, DWORD type = REG_SZ)
    {
        Put(name, type, text, static_cast<DWORD>(std::strlen(text) + 1));
    }

    /// A value's type and raw bytes as the system reports them.
    struct RawValue {
        LONG status = ERROR_SUCCESS;
        DWORD type = 0;
        std::string bytes;
    };
    RawValue ReadRaw(const char* name)
    {
        RawValue value;
        HKEY key = nullptr;
        value.status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_QUERY_VALUE, &key);
        if (value.status != ERROR_SUCCESS)
            return value;
        char data[256];
        DWORD size = sizeof data;
        value.status = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size);
        if (value.status == ERROR_SUCCESS)
            value.bytes.assign(data, size);
        RegCloseKey(key);
        return value;
    }

    std::string path_;
    ERegistryKey key_;
};

TEST_F(RegistryKeyTest, RootConstantsAreTheSystemsOwn)
{
    EXPECT_EQ(reinterpret_cast<HKEY>(npl::platform::kRegistryLocalMachine), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reinterpret_cast<HKEY>(npl::platform::kRegistryCurrentUser), HKEY_CURRENT_USER);
    EXPECT_EQ(reinterpret_cast<HKEY>(npl::platform::kRegistryClassesRoot), HKEY_CLASSES_ROOT);
    EXPECT_EQ(reinterpret_cast<HKEY>(npl::platform::kRegistryUsers), HKEY_USERS);
    EXPECT_EQ(npl::platform::RegistryAccessRead, static_cast<std::uint32_t>(KEY_READ));
    EXPECT_EQ(npl::platform::RegistryAccessWrite, static_cast<std::uint32_t>(KEY_WRITE));
}

TEST_F(RegistryKeyTest, ValuesOfEachTypeReadAsText)
{
    PutText("InstallLocation", "C:\\Games\\Velmora\\");
    PutText("Empty", "");
    PutText("Expand", "%WINDIR%\\velmora", REG_EXPAND_SZ);
    const DWORD threeBytes = 0x00636261; // "abc" and a zero byte
    Put("Dword", REG_DWORD, &threeBytes, sizeof threeBytes);
    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, path_.c_str(), npl::platform::RegistryAccessRead), 0);
    EXPECT_TRUE(key_.IsOpen());

    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"InstallLocation", "C:\\Games\\Velmora\\"},
        {"Empty", ""},
        {"Expand", "%WINDIR%\\velmora"}, // not expanded
        {"Dword", "abc"},
        {"Missing", "default"},
    };
    for (const auto& c : cases) {
        const EString value = key_.GetString(c.name, "default");
        EXPECT_STREQ(value.GetText(), c.expected) << c.name;
        EXPECT_EQ(value.GetLength(), std::strlen(c.expected)) << c.name;
    }
}

// Four bytes without a zero among them, in a buffer sized for a much longer value: the text must
// end with the data, not run on into bytes the system never wrote.
TEST_F(RegistryKeyTest, DwordWithoutZeroByteEndsWithItsData)
{
    PutText("Long", "a value much longer than four bytes, so the buffer has room after the data");
    const DWORD fourBytes = 0x64636261; // "abcd"
    Put("Dword", REG_DWORD, &fourBytes, sizeof fourBytes);
    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, path_.c_str(), npl::platform::RegistryAccessRead), 0);
    EXPECT_STREQ(key_.GetString("Dword", "default").GetText(), "abcd");
}

// The class text does not fit the first buffer of 256 characters: the query must be repeated
// with a larger one before the value can be read.
TEST_F(RegistryKeyTest, KeyWithA300CharacterClassTextStillGivesItsValues)
{
    const std::string classText(300, 'c');
    const std::string classPath = path_ + "\\WithClass";
    ASSERT_EQ(Create(classPath, classText.c_str()), ERROR_SUCCESS);
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, classPath.c_str(), 0, KEY_ALL_ACCESS, &raw), ERROR_SUCCESS);
    char shortClass[257];
    DWORD classSize = 256;
    // Make sure the fixture really is what the test is about.
    EXPECT_EQ(RegQueryInfoKeyA(raw, shortClass, &classSize, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    ASSERT_EQ(RegSetValueExA(raw, "InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\Velmora\\"), 12),
              ERROR_SUCCESS);
    RegCloseKey(raw);

    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, classPath.c_str(), npl::platform::RegistryAccessRead), 0);
    EXPECT_STREQ(key_.GetString("InstallLocation", "default").GetText(), "D:\\Velmora\\");
    key_.Close();
}

TEST_F(RegistryKeyTest, WrittenVersionIsAStringOfFiveBytes)
{
    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, path_.c_str(),
                        npl::platform::RegistryAccessRead | npl::platform::RegistryAccessWrite),
              0);
    EXPECT_EQ(key_.SetString("DisplayVersion", "1.01"), 0);
    const RawValue raw = ReadRaw("DisplayVersion");
    ASSERT_EQ(raw.status, ERROR_SUCCESS);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes, std::string("1.01", 5)) << "four characters and the terminating zero";
    EXPECT_STREQ(key_.GetString("DisplayVersion", "").GetText(), "1.01");
}

TEST_F(RegistryKeyTest, MissingKeyAndRefusedWritesFail)
{
    EXPECT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, (path_ + "\\Missing").c_str(),
                        npl::platform::RegistryAccessRead),
              1);
    EXPECT_FALSE(key_.IsOpen());
    EXPECT_STREQ(key_.GetString("InstallLocation", "not installed").GetText(), "not installed");
    EXPECT_EQ(key_.SetString("DisplayVersion", "1.01"), 1);

    // A key opened for reading only cannot be written.
    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, path_.c_str(), npl::platform::RegistryAccessRead), 0);
    EXPECT_EQ(key_.SetString("DisplayVersion", "1.01"), 1);
    EXPECT_EQ(ReadRaw("DisplayVersion").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, CloseOnANeverOpenedKeyDoesNothing)
{
    ERegistryKey key;
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.GetHandle(), nullptr);
    EXPECT_STREQ(key.GetString("x", "d").GetText(), "d");
}

TEST_F(RegistryKeyTest, OpeningTwiceClosesTheFirstKey)
{
    ASSERT_EQ(Create(path_ + "\\First", nullptr), ERROR_SUCCESS);
    ASSERT_EQ(Create(path_ + "\\Second", nullptr), ERROR_SUCCESS);
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (path_ + "\\Second").c_str(), 0, KEY_SET_VALUE, &raw), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(raw, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("second"), 7), ERROR_SUCCESS);
    RegCloseKey(raw);

    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, (path_ + "\\First").c_str(),
                        npl::platform::RegistryAccessRead),
              0);
    const RegistryKey first = key_.GetHandle();
    ASSERT_EQ(key_.Open(npl::platform::kRegistryLocalMachine, (path_ + "\\Second").c_str(),
                        npl::platform::RegistryAccessRead),
              0);
    EXPECT_STREQ(key_.GetString("Name", "none").GetText(), "second");
    // The first handle is no longer valid; the system may have handed its value out again for
    // the second key, which can only happen once it was closed.
    if (first != key_.GetHandle()) {
        DWORD values = 0;
        EXPECT_NE(RegQueryInfoKeyA(reinterpret_cast<HKEY>(first), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
    }
    key_.Close();
    EXPECT_FALSE(key_.IsOpen());
    EXPECT_NE(key_.GetHandle(), nullptr) << "the handle keeps its last value after a close";
}

TEST_F(RegistryKeyTest, ClassIdentity)
{
    EXPECT_STREQ(key_.GetClassName(), "ERegistryKey");
    EXPECT_EQ(key_.IsKindOf("ERegistryKey"), 1);
    EXPECT_EQ(key_.IsKindOf("NPLObject"), 1);
    EXPECT_EQ(key_.DynamicCast(ERegistryKey::ClassName), &key_);
}

} // namespace

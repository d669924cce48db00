#include <gtest/gtest.h>

#include <string>

#include "file/combine_path.h"

namespace {

std::string Narrow(const char16_t* text)
{
    std::string result;
    for (; *text != 0; ++text)
        result += *text < 0x80 ? static_cast<char>(*text) : '?';
    return result;
}

struct CombineCase {
    const char16_t* folder;
    const char16_t* name;
    const char16_t* expected;
};

TEST(CombinePath, Table)
{
    const CombineCase cases[] = {
        // A name with folders follows the folder.
        { u"C:\\game\\", u"data\\a.bin", u"C:\\game\\data\\a.bin" },
        { u"C:\\game\\", u"data/a.bin", u"C:\\game\\data/a.bin" },
        { u"C:\\game/", u"a.bin", u"C:\\game/a.bin" },
        // A separator is put between them only when the folder lacks one.
        { u"C:\\game", u"a.bin", u"C:\\game\\a.bin" },
        { u"", u"a.bin", u"a.bin" },
        { nullptr, u"a.bin", u"a.bin" },
        // A rooted name keeps only the folder's drive.
        { u"C:\\game\\", u"\\x.bin", u"C:\\x.bin" },
        { u"C:\\game\\", u"/x.bin", u"C:/x.bin" },
        { u"\\\\server\\share\\", u"\\x.bin", u"\\x.bin" },
        { u"game\\", u"\\x.bin", u"\\x.bin" },
        { u"game\\a:b\\", u"\\x.bin", u"\\x.bin" }, // a ':' after a separator is no drive
        // A name with a drive is complete.
        { u"C:\\game\\", u"D:y.bin", u"D:y.bin" },
        { u"C:\\game\\", u"D:\\y.bin", u"D:\\y.bin" },
        // A ':' after the name's first separator does not make it complete.
        { u"C:\\game\\", u"sub\\x:y", u"C:\\game\\sub\\x:y" },
        // An empty name gives the folder.
        { u"C:\\game\\", u"", u"C:\\game\\" },
        { u"C:\\game\\", nullptr, u"C:\\game\\" },
        { u"", u"", u"" },
        // Text outside ASCII passes through as it is.
        { u"C:\\\u8868\\", u"\u793A.bin", u"C:\\\u8868\\\u793A.bin" },
    };
    for (const CombineCase& c : cases) {
        EWideString result = CombinePath(c.folder, c.name);
        EXPECT_EQ(std::u16string(result.GetText()), std::u16string(c.expected))
            << "folder " << (c.folder ? Narrow(c.folder) : "(null)") << ", name "
            << (c.name ? Narrow(c.name) : "(null)") << " gave " << Narrow(result.GetText());
    }
}

TEST(GetDrivePrefix, Table)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        { u"C:\\game\\", u"C:" },
        { u"C:", u"C:" },
        { u"abc:def\\", u"abc:" },
        { u"\\\\server\\share\\", u"" },
        { u"game\\a:b", u"" },
        { u"/x:", u"" },
        { u"", u"" },
        { nullptr, u"" },
    };
    for (const auto& [folder, expected] : cases) {
        EWideString prefix = GetDrivePrefix(folder);
        EXPECT_EQ(std::u16string(prefix.GetText()), std::u16string(expected)) << (folder ? Narrow(folder) : "(null)");
    }
}

} // namespace

// Cross-check against the system's own resource loader: every resource (type, name, language)
// that the Win32 resource calls find in a real PE file must be found by EXEImageFileObject, with
// exactly the same bytes. The system's DLLs of a 64-bit prefix are PE32+ images carrying icons,
// dialogs, string tables and version resources; the fixtures add a PE32 image.
#include <windows.h>

#include "file/exe_image_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "file/raw_file.h"

namespace {

/// A type or name as the enumeration gave it: an identifier, or a text (copied, because the
/// system's pointer is valid only inside the callback).
struct Key {
    bool isText = false;
    WORD id = 0;
    std::string text;

    static Key From(LPCSTR value)
    {
        Key key;
        if (IS_INTRESOURCE(value)) {
            key.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value));
        } else if (value[0] == '#') {
            // The system's calls read the text "#10" as the identifier 10 (so a type stored
            // as the text "#10" is out of their reach); the reader compares texts as texts,
            // so it is asked for what the system actually looked up.
            key.id = static_cast<WORD>(std::strtoul(value + 1, nullptr, 10));
        } else {
            key.isText = true;
            key.text = value;
        }
        return key;
    }
    LPCSTR Argument() const { return isText ? text.c_str() : MAKEINTRESOURCEA(id); }
    std::string Describe() const { return isText ? "\"" + text + "\"" : "#" + std::to_string(id); }
};

struct Resource {
    Key type;
    Key name;
    WORD language = 0;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<Resource>*>(found)->push_back({Key::From(type), Key::From(name), language});
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found)
{
    EnumResourceLanguagesA(module, type, name, OnLanguage, found);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR found)
{
    EnumResourceNamesA(module, type, OnName, found);
    return TRUE;
}

std::string SystemDirectory()
{
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\";
}

class ExeImageLoaderTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ExeImageLoaderTest, EveryResourceTheLoaderFindsReadsTheSame)
{
    const std::string path = GetParam();
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << path << ": error " << GetLastError();
    std::vector<Resource> resources;
    EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&resources));
    ASSERT_FALSE(resources.empty()) << path;

    ERawFile file;
    ASSERT_EQ(file.Open(path.c_str(), NPLFileObject::modeRead | NPLFileObject::modeShareRead), 0) << path;
    EXEImageFileObject image;
    ASSERT_EQ(image.OpenPEImageFile(&file), nullptr) << path;

    std::set<WORD> types;
    std::vector<char> ours;
    for (const Resource& resource : resources) {
        const std::string what = path + ": " + resource.type.Describe() + " / " + resource.name.Describe() + " / "
            + std::to_string(resource.language);
        HRSRC found = FindResourceExA(module, resource.type.Argument(), resource.name.Argument(), resource.language);
        ASSERT_NE(found, nullptr) << what;
        const DWORD size = SizeofResource(module, found);
        const char* theirs = static_cast<const char*>(LockResource(LoadResource(module, found)));
        ASSERT_NE(theirs, nullptr) << what;

        ASSERT_EQ(image.OpenResource(resource.type.Argument(), resource.name.Argument(), resource.language), nullptr)
            << what;
        ASSERT_EQ(image.GetLength(), size) << what;
        ours.assign(size, '\0');
        ASSERT_EQ(image.Read(ours.data(), size), size) << what;
        ASSERT_EQ(std::memcmp(ours.data(), theirs, size), 0) << what;
        if (!resource.type.isText)
            types.insert(resource.type.id);
    }
    FreeLibrary(module);
    ::testing::Test::RecordProperty("resources", static_cast<int>(resources.size()));
    std::printf("%s: %zu resources, %zu identifier types\n", path.c_str(), resources.size(), types.size());
}

// The system's DLLs of the prefix, which carry every common kind of resource between them.
TEST(ExeImageLoaderSystemDlls, CoverIconsDialogsStringsAndVersions)
{
    std::set<WORD> types;
    for (const char* dll : {"shell32.dll", "user32.dll", "comctl32.dll", "comdlg32.dll"}) {
        HMODULE module = LoadLibraryExA((SystemDirectory() + dll).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << dll;
        std::vector<Resource> resources;
        EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&resources));
        for (const Resource& resource : resources) {
            if (!resource.type.isText)
                types.insert(resource.type.id);
        }
        FreeLibrary(module);
    }
    for (WORD expected : {3, 5, 6, 14, 16}) // icon, dialog, string table, icon group, version
        EXPECT_EQ(types.count(expected), 1u) << "type " << expected;
}

std::vector<std::string> Images()
{
    const std::string system = SystemDirectory();
    return {
        std::string(NPL_EXE_FIXTURE_DIR) + "resources_x86_64.exe",
        std::string(NPL_EXE_FIXTURE_DIR) + "resources_i686.exe",
        system + "shell32.dll",
        system + "user32.dll",
        system + "comctl32.dll",
        system + "comdlg32.dll",
        system + "kernel32.dll",
    };
}

INSTANTIATE_TEST_SUITE_P(RealImages, ExeImageLoaderTest, ::testing::ValuesIn(Images()));

} // namespace

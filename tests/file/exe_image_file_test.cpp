#include "file/exe_image_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/memory_file.h"
#include "file/raw_file.h"
#include "fixtures/pe_test_image.h"
#include "npl/platform/code_page.h"

namespace {

using pe_test::Bytes;
using pe_test::Get32;
using pe_test::Put16;
using pe_test::Put32;

std::string FixturePath(const std::string& name) { return std::string(NPL_EXE_FIXTURE_DIR) + name; }

Bytes ReadFixture(const std::string& name)
{
    std::ifstream in(FixturePath(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

/// The code-page 932 bytes of a UTF-16 text, made by the platform's own conversion.
std::string Cp932(const char16_t* text)
{
    const unsigned previous = npl::platform::GetAnsiCodePage();
    npl::platform::SetAnsiCodePage(npl::platform::kCodePageShiftJis);
    const int size = npl::platform::WideToMultiByte(text, -1, nullptr, 0);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    const int written = npl::platform::WideToMultiByte(text, -1, result.data(), size);
    npl::platform::SetAnsiCodePage(previous);
    result.resize(written > 0 ? static_cast<std::size_t>(written) - 1 : 0);
    return result;
}

const std::string kNotPEImage = Cp932(u"有効な PE イメージファイルではありません。");
const std::string kImageNotOpened = Cp932(u"OpenPEImageFile 関数でイメージファイルが開かれていません。");
const std::string kNoResourceSection = Cp932(u"リソースセクションがありません。");
const std::string kTypeNotFound = Cp932(u"リソースタイプが見つかりません。");
const std::string kNameNotFound = Cp932(u"リソース識別子が見つかりません。");
const std::string kLanguageNotFound = Cp932(u"言語識別子が見つかりません。");
const std::string kBadDataEntry = Cp932(u"データエントリが不正です。");
const std::string kOutsideCopy = Cp932(u"リソースデータが見つかりませんでした。");

/// The text a call returned, or "(null)" for success, so that a mismatch reads well.
std::string Result(const char* text) { return text == nullptr ? std::string("(null)") : std::string(text); }

const char* Id(std::uint16_t id) { return EXEImageFileObject::ResourceId(id); }

/// A type or name argument for a failure message.
std::string Describe(const char* argument)
{
    const auto value = reinterpret_cast<std::uintptr_t>(argument);
    return (value >> 16) == 0 ? "#" + std::to_string(value) : "\"" + std::string(argument) + "\"";
}

/// Everything the window yields from its current position, read in `block`-byte steps.
std::string ReadRest(NPLFileObject& file, std::uint32_t block = 4096)
{
    std::string all;
    std::vector<char> buffer(block);
    for (;;) {
        const std::uint32_t got = file.Read(buffer.data(), block);
        all.append(buffer.data(), got);
        if (got < block)
            return all;
    }
}

/// The resource name 日本語 in the process's ANSI code page (UTF-8 on Linux hosts, 932 under
/// Wine), as a caller would pass it.
std::string JapaneseName()
{
    char text[16] = {};
    const int size = npl::platform::WideToMultiByte(u"日本語", -1, text, sizeof text);
    return size > 1 ? std::string(text, static_cast<std::size_t>(size) - 1) : std::string();
}

void Load(EMemoryFile& file, const Bytes& bytes)
{
    ASSERT_EQ(file.Create(static_cast<std::uint32_t>(bytes.size())), 0);
    ASSERT_EQ(file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())), bytes.size());
    ASSERT_EQ(file.Seek(0, NPLFileObject::FromBegin), 0u);
}

// Each real fixture is read twice: linked for i686 (PE32, as the shipped patcher) and for
// x86_64 (PE32+, as the win64 build and the system's own DLLs).
class ExeImageFixture : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        arch_ = GetParam();
        payload_ = AsText(ReadFixture("payload.bin"));
        ASSERT_GT(payload_.size(), 500u);
        ASSERT_EQ(disk_.Open(FixturePath(std::string("resources_") + arch_ + ".exe").c_str(),
                             NPLFileObject::modeRead | NPLFileObject::modeShareRead),
                  0);
        ASSERT_EQ(Result(image_.OpenPEImageFile(&disk_)), "(null)");
    }

    std::string Open(const char* type, const char* name, std::uint16_t language)
    {
        return Result(image_.OpenResource(type, name, language));
    }

    std::string arch_;
    std::string payload_;
    ERawFile disk_;
    EXEImageFileObject image_;
};

TEST_P(ExeImageFixture, HeadersOfBothImageKindsAreFoundInTheCopy)
{
    const bool plus = arch_ == "x86_64";
    ASSERT_NE(image_.GetFileHeader(), nullptr);
    EXPECT_EQ(image_.GetFileHeader()[0] | image_.GetFileHeader()[1] << 8, plus ? 0x8664 : 0x14C);
    EXPECT_EQ(image_.GetOptionalHeader()[0] | image_.GetOptionalHeader()[1] << 8, plus ? 0x20B : 0x10B);
    EXPECT_EQ(std::memcmp(image_.GetResourceSectionHeader(), ".rsrc\0\0\0", 8), 0);
    EXPECT_EQ(image_.GetOpenMode(), NPLFileObject::modeRead);
}

TEST_P(ExeImageFixture, ArchiveResourceReadsAsThePayloadFromItsFirstByte)
{
    ASSERT_EQ(Open("RT_RCDATA", "IDR_ARCHIVE", 0), "(null)");
    EXPECT_EQ(image_.GetLength(), payload_.size());
    EXPECT_EQ(image_.GetPosition(), 0u);
    std::string all(payload_.size(), '\0');
    EXPECT_EQ(image_.Read(all.data(), static_cast<std::uint32_t>(all.size())), payload_.size());
    EXPECT_EQ(all, payload_);
    char more[8];
    EXPECT_EQ(image_.Read(more, sizeof more), 0u) << "a read at the window's end";
    // The window's end is not the file's end: the underlying file holds more after it.
    EXPECT_LT(image_.GetWindowOffset() + payload_.size(), disk_.GetLength());

    ASSERT_EQ(Open("RT_RCDATA", "IDR_ARCHIVE", 1041), "(null)");
    EXPECT_EQ(ReadRest(image_, 100), payload_) << "small blocks cut at the window's end";
}

// The copy spans everything before the first resource data byte, no more and no less.
TEST_P(ExeImageFixture, CopyEndsAtTheLowestResourceData)
{
    const std::string japanese = JapaneseName();
    const struct {
        const char* type;
        const char* name;
        std::uint16_t language;
    } all[] = {
        {"RT_RCDATA", "IDR_ARCHIVE", 0}, {Id(10), "IDR_ARCHIVE", 0}, {"#10", "HASHTEN", 0}, {"RT_RCDATA", "FOUR", 0},
        {"RT_RCDATA", "MULTI", 1031},    {"RT_RCDATA", "MULTI", 1033}, {"RT_RCDATA", "MULTI", 1041},
        {Id(10), Id(7), 0},              {"RT_RCDATA", japanese.c_str(), 0},
    };
    std::uint32_t lowest = 0xFFFFFFFF;
    for (const auto& resource : all) {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        ASSERT_EQ(Result(image_.FindResourceData(resource.type, resource.name, resource.language, &offset, &size)),
                  "(null)");
        lowest = std::min(lowest, offset);
    }
    EXPECT_EQ(image_.GetImageCopyLength(), lowest);
}

TEST_P(ExeImageFixture, TextAndIdentifierTypesFindOnlyTheirOwnEntries)
{
    std::uint32_t namedOffset = 0;
    std::uint32_t numericOffset = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(Result(image_.FindResourceData("RT_RCDATA", "IDR_ARCHIVE", 0, &namedOffset, &size)), "(null)");
    ASSERT_EQ(Result(image_.FindResourceData(Id(10), "IDR_ARCHIVE", 0, &numericOffset, &size)), "(null)");
    EXPECT_NE(namedOffset, numericOffset) << "identifier 10 must not find the type named RT_RCDATA";
    EXPECT_EQ(size, payload_.size());

    const struct {
        const char* type;
        const char* name;
        std::uint16_t language;
        const std::string& expected;
    } cases[] = {
        {"rt_rcdata", "IDR_ARCHIVE", 0, kTypeNotFound},   // no case folding
        {"RT_RCDATA ", "IDR_ARCHIVE", 0, kTypeNotFound},  // one unit longer
        {"RT_RCDAT", "IDR_ARCHIVE", 0, kTypeNotFound},    // one unit shorter
        {"RT_RCDATA", "idr_archive", 0, kNameNotFound},
        {"RT_RCDATA", Id(7), 0, kNameNotFound},           // 7 lives only under the identifier type 10
        {Id(10), "FOUR", 0, kNameNotFound},               // FOUR lives only under the text type
        {Id(10), "HASHTEN", 0, kNameNotFound},            // "#10" is a text, never the identifier 10
        {Id(3), "IDR_ARCHIVE", 0, kTypeNotFound},
        {"RT_RCDATA", "IDR_ARCHIVE", 1033, kLanguageNotFound},
        {"", "IDR_ARCHIVE", 0, kTypeNotFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Open(c.type, c.name, c.language), c.expected) << Describe(c.type) << " / " << Describe(c.name);
}

TEST_P(ExeImageFixture, ResourcesAreMatchedByTypeNameAndLanguage)
{
    const std::string japanese = JapaneseName();
    const struct {
        const char* type;
        const char* name;
        std::uint16_t language;
        const char* expected;
    } cases[] = {
        {"#10", "HASHTEN", 0, "hash ten"},
        {"RT_RCDATA", "MULTI", 0, "deutsch"}, // language 0: the first listed, 1031
        {"RT_RCDATA", "MULTI", 1033, "english"},
        {"RT_RCDATA", "MULTI", 1041, "nihongo"},
        {Id(10), Id(7), 0, "seven"},
        {Id(10), Id(7), 1033, "seven"},
        {"RT_RCDATA", japanese.c_str(), 1041, "japanese"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Open(c.type, c.name, c.language), "(null)") << c.expected;
        EXPECT_EQ(ReadRest(image_), c.expected);
    }
}

TEST_P(ExeImageFixture, SeeksAreClampedToTheWindow)
{
    ASSERT_EQ(Open("RT_RCDATA", "FOUR", 0), "(null)");
    ASSERT_EQ(image_.GetLength(), 4u);
    const struct {
        std::int32_t offset;
        std::uint32_t origin;
        std::uint32_t expected;
    } seeks[] = {
        {10, NPLFileObject::FromBegin, 4},   {-5, NPLFileObject::FromBegin, 0},  {-1, NPLFileObject::FromEnd, 3},
        {-1, NPLFileObject::FromCurrent, 2}, {5, NPLFileObject::FromCurrent, 4}, {-100, NPLFileObject::FromEnd, 0},
        {1, 7, 1}, // an unknown origin counts from the beginning
    };
    for (const auto& s : seeks) {
        EXPECT_EQ(image_.Seek(s.offset, s.origin), s.expected) << s.offset << " from " << s.origin;
        EXPECT_EQ(image_.GetPosition(), s.expected);
        EXPECT_EQ(disk_.GetPosition(), image_.GetWindowOffset() + s.expected) << "the window has no position of its own";
    }
    image_.Seek(-1, NPLFileObject::FromEnd);
    char last[4] = {};
    EXPECT_EQ(image_.Read(last, 4), 1u);
    EXPECT_EQ(last[0], 'D');
    image_.Seek(0, NPLFileObject::FromBegin);
    EXPECT_EQ(ReadRest(image_), "ABCD");
}

TEST_P(ExeImageFixture, WindowIsReadOnlyAndCannotBeDuplicated)
{
    ASSERT_EQ(Open("RT_RCDATA", "FOUR", 0), "(null)");
    EXPECT_EQ(image_.Write("xy", 2), 0u);
    EXPECT_EQ(image_.Duplicate(), nullptr);
    EXPECT_EQ(image_.SetEndOfFile(), 1);
    EXPECT_EQ(image_.GetLargeLength(), 4u);
    EXPECT_EQ(image_.OpenRelative(u"x", NPLFileObject::modeRead), nullptr);
    EXPECT_EQ(ReadRest(image_), "ABCD");
}

TEST_P(ExeImageFixture, FailedOpenResourceKeepsThePreviousWindow)
{
    ASSERT_EQ(Open("RT_RCDATA", "FOUR", 0), "(null)");
    image_.Seek(1, NPLFileObject::FromBegin);
    EXPECT_EQ(Open("NOPE", "FOUR", 0), kTypeNotFound);
    EXPECT_EQ(Open("RT_RCDATA", "IDR_ARCHIVE", 1033), kLanguageNotFound);
    EXPECT_EQ(image_.GetLength(), 4u);
    EXPECT_EQ(ReadRest(image_), "BCD");
}

// Whoever moves the underlying file outside the window reads nothing through it, rather than
// bytes from beyond the window's end.
TEST_P(ExeImageFixture, UnderlyingFileMovedOutsideTheWindowReadsNothing)
{
    ASSERT_EQ(Open("RT_RCDATA", "FOUR", 0), "(null)");
    char buffer[8];
    disk_.Seek(0, NPLFileObject::FromBegin);
    EXPECT_EQ(image_.Read(buffer, sizeof buffer), 0u);
    disk_.Seek(static_cast<std::int32_t>(image_.GetWindowOffset() + 6), NPLFileObject::FromBegin);
    EXPECT_EQ(image_.Read(buffer, sizeof buffer), 0u);
}

TEST_P(ExeImageFixture, CloseForgetsTheImageAndLeavesTheFileOpen)
{
    ASSERT_EQ(Open("RT_RCDATA", "FOUR", 0), "(null)");
    image_.Close();
    EXPECT_EQ(image_.GetLength(), 0u);
    EXPECT_EQ(image_.GetFileHeader(), nullptr);
    EXPECT_EQ(Open("RT_RCDATA", "FOUR", 0), kImageNotOpened);
    EXPECT_TRUE(disk_.IsOpen());

    // A destroyed image object leaves its file open and readable.
    auto* second = new EXEImageFileObject;
    disk_.Seek(0, NPLFileObject::FromBegin);
    ASSERT_EQ(Result(second->OpenPEImageFile(&disk_)), "(null)");
    ASSERT_EQ(Result(second->OpenResource("RT_RCDATA", "FOUR", 0)), "(null)");
    delete second;
    EXPECT_TRUE(disk_.IsOpen());
    disk_.Seek(0, NPLFileObject::FromBegin);
    char mz[2];
    EXPECT_EQ(disk_.Read(mz, 2), 2u);
    EXPECT_EQ(std::string(mz, 2), "MZ");
}

INSTANTIATE_TEST_SUITE_P(BothImageKinds, ExeImageFixture, ::testing::Values("i686", "x86_64"));

TEST(ExeImageFile, NamesThatDifferOnlyInCaseAreDistinct)
{
    for (const char* arch : {"i686", "x86_64"}) {
        EMemoryFile file;
        Load(file, ReadFixture(std::string("case_names_") + arch + ".exe"));
        EXEImageFileObject image;
        ASSERT_EQ(Result(image.OpenPEImageFile(&file)), "(null)") << arch;
        ASSERT_EQ(Result(image.OpenResource("RT_RCDATA", "CaseName", 0)), "(null)");
        EXPECT_EQ(ReadRest(image), "upper");
        ASSERT_EQ(Result(image.OpenResource("RT_RCDATA", "casename", 0)), "(null)");
        EXPECT_EQ(ReadRest(image), "lower");
        EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "CASENAME", 0)), kNameNotFound);
    }
}

TEST(ExeImageFile, StatesBeforeAnImageIsOpen)
{
    EXEImageFileObject image;
    char buffer[4];
    EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0)), kImageNotOpened);
    EXPECT_EQ(image.Read(buffer, 4), 0u);
    EXPECT_EQ(image.GetLength(), 0u);
    EXPECT_EQ(image.Seek(2, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(image.GetPosition(), 0u);
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(Result(image.FindResourceData("RT_RCDATA", "IDR_ARCHIVE", 0, &offset, &size)), kNoResourceSection);

    // A refused image keeps its file recorded but has no resource section.
    EMemoryFile notAnImage;
    Load(notAnImage, Bytes(4096, 'x'));
    EXPECT_EQ(Result(image.OpenPEImageFile(&notAnImage)), kNotPEImage);
    EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0)), kNoResourceSection);
    EXPECT_EQ(Result(image.OpenPEImageFile(nullptr)), kNotPEImage);

    // An image open but no window yet: the file operations answer 0.
    EMemoryFile real;
    Load(real, ReadFixture("resources_x86_64.exe"));
    ASSERT_EQ(Result(image.OpenPEImageFile(&real)), "(null)");
    EXPECT_EQ(image.Read(buffer, 4), 0u);
    EXPECT_EQ(image.GetLength(), 0u);
}

/// Opens `bytes` as an image and the archive resource in it: the first failure text, or
/// "(null)".
std::string OpenArchiveIn(const Bytes& bytes, const char* name = "IDR_ARCHIVE")
{
    EMemoryFile file;
    Load(file, bytes);
    EXEImageFileObject image;
    if (const char* failure = image.OpenPEImageFile(&file))
        return failure;
    return Result(image.OpenResource("RT_RCDATA", name, 0));
}

// Malformed images made from a real fixture by patching bytes. Type entries of the fixture, in
// directory order: "#10", "RT_RCDATA", 10; names under RT_RCDATA: FOUR, IDR_ARCHIVE, MULTI,
// then the Japanese name.
TEST(ExeImageFile, MalformedImagesGiveTheirFailureTexts)
{
    for (const char* arch : {"i686", "x86_64"}) {
        const Bytes real = ReadFixture(std::string("resources_") + arch + ".exe");
        const pe_test::Layout layout = pe_test::FindLayout(real);
        ASSERT_NE(layout.resourceHeader, 0u);
        ASSERT_EQ(OpenArchiveIn(real), "(null)");
        const std::uint32_t archiveEntry = layout.DataEntry(real, 1, 1);

        struct Case {
            const char* what;
            void (*patch)(Bytes&, const pe_test::Layout&, std::uint32_t archiveEntry);
            const std::string& expected;
        };
        const Case cases[] = {
            {"63 bytes", [](Bytes& b, const pe_test::Layout&, std::uint32_t) { b.resize(63); }, kNotPEImage},
            {"e_lfanew + 228 one beyond the end",
             [](Bytes& b, const pe_test::Layout&, std::uint32_t) { Put32(b, 60, static_cast<std::uint32_t>(b.size()) - 227); },
             kNotPEImage},
            // The sum wraps around to a small number in 32 bits.
            {"e_lfanew near 4 GiB", [](Bytes& b, const pe_test::Layout&, std::uint32_t) { Put32(b, 60, 0xFFFFFF80); },
             kNotPEImage},
            {"no PE signature", [](Bytes& b, const pe_test::Layout& l, std::uint32_t) { b[l.signature + 1] = 'X'; },
             kNotPEImage},
            {"zero sections", [](Bytes& b, const pe_test::Layout& l, std::uint32_t) { Put16(b, l.fileHeader + 2, 0); },
             kNotPEImage},
            {".rsrc renamed", [](Bytes& b, const pe_test::Layout& l, std::uint32_t) { b[l.resourceHeader + 4] = 'x'; },
             kNotPEImage},
            {"only .rsrcx", [](Bytes& b, const pe_test::Layout& l, std::uint32_t) { b[l.resourceHeader + 5] = 'x'; },
             kNotPEImage},
            {"no data entry",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t) {
                 Put16(b, l.resourceStart + 12, 0);
                 Put16(b, l.resourceStart + 14, 0);
             },
             kNotPEImage},
            {"section table beyond the end",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t) { Put16(b, l.fileHeader + 16, 0xFFF0); }, kNotPEImage},
            // A data entry placed at file offset 0 would make the copy too small to hold the
            // headers the search reads.
            {"data below the headers",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t e) { Put32(b, e, l.resourceAddress - l.resourceStart); },
             kNotPEImage},
            {"data one byte beyond the section",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t e) {
                 Put32(b, e + 4, l.resourceRawSize - (Get32(b, e) - l.resourceAddress) + 1);
             },
             kBadDataEntry},
            // delta + Size wraps around to a small number in 32 bits.
            {"data size wrapping around",
             [](Bytes& b, const pe_test::Layout&, std::uint32_t e) { Put32(b, e + 4, 0xFFFFFFFF); }, kBadDataEntry},
            // Data placed before the resource section ends the copy before the directory.
            {"data before the section",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t e) { Put32(b, e, l.resourceAddress - 1); }, kOutsideCopy},
            {"name directory beyond the copy",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t) {
                 const std::uint32_t names = l.resourceStart + (Get32(b, l.resourceStart + 16 + 8 + 4) & 0x7FFFFFFF);
                 Put32(b, names + 16 + 8 + 4, 0xFFFFFF00); // IDR_ARCHIVE's language directory
             },
             kOutsideCopy},
            {"directory string beyond the copy",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t) {
                 const std::uint32_t names = l.resourceStart + (Get32(b, l.resourceStart + 16 + 8 + 4) & 0x7FFFFFFF);
                 Put32(b, names + 16, 0xFFFFFF00); // FOUR's name, searched before IDR_ARCHIVE
             },
             kOutsideCopy},
            {"data entry beyond the copy",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t) {
                 const std::uint32_t names = l.resourceStart + (Get32(b, l.resourceStart + 16 + 8 + 4) & 0x7FFFFFFF);
                 const std::uint32_t languages = l.resourceStart + (Get32(b, names + 16 + 8 + 4) & 0x7FFFFFFF);
                 Put32(b, languages + 16 + 4, static_cast<std::uint32_t>(b.size()) - l.resourceStart - 8);
             },
             kOutsideCopy},
            {"language entry still marked as a directory",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t) {
                 const std::uint32_t names = l.resourceStart + (Get32(b, l.resourceStart + 16 + 8 + 4) & 0x7FFFFFFF);
                 const std::uint32_t languages = l.resourceStart + (Get32(b, names + 16 + 8 + 4) & 0x7FFFFFFF);
                 Put32(b, languages + 16 + 4, Get32(b, languages + 16 + 4) | 0x80000000);
             },
             kOutsideCopy},
            // The file ends inside the archive's data: the copy is still whole, but the data
            // cannot be read.
            {"file ending inside the data",
             [](Bytes& b, const pe_test::Layout& l, std::uint32_t e) {
                 b.resize(l.resourceStart + Get32(b, e) - l.resourceAddress + 10);
             },
             kBadDataEntry},
        };
        for (const Case& c : cases) {
            Bytes patched = real;
            c.patch(patched, layout, archiveEntry);
            EXPECT_EQ(OpenArchiveIn(patched), c.expected) << arch << ": " << c.what;
        }
    }
}

// The lowest data offset read from the directory lies beyond the end of a truncated file: the
// copy holds what the file has, never more, and data beyond the end is refused.
TEST(ExeImageFile, CopyOfATruncatedFileIsBoundedByItsLength)
{
    Bytes bytes = ReadFixture("resources_x86_64.exe");
    std::uint32_t lowest = 0;
    {
        EMemoryFile whole;
        Load(whole, bytes);
        EXEImageFileObject image;
        ASSERT_EQ(Result(image.OpenPEImageFile(&whole)), "(null)");
        lowest = image.GetImageCopyLength();
    }
    bytes.resize(lowest - 4); // inside the padding after the directory's last name
    EMemoryFile file;
    Load(file, bytes);
    EXEImageFileObject image;
    ASSERT_EQ(Result(image.OpenPEImageFile(&file)), "(null)");
    EXPECT_EQ(image.GetImageCopyLength(), bytes.size());
    EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0)), kBadDataEntry);
}

// A file object that hands out at most 512 bytes per read, as a pipe or a failing disk might:
// the copy of the headers must not be used half filled.
class ShortReadFile : public EMemoryFile {
public:
    std::uint32_t Read(void* buffer, std::uint32_t count) override
    {
        return EMemoryFile::Read(buffer, count < 512 ? count : 512);
    }
};

TEST(ExeImageFile, ShortReadOfTheCopyIsRefused)
{
    ShortReadFile file;
    Load(file, ReadFixture("resources_x86_64.exe"));
    EXEImageFileObject image;
    EXPECT_EQ(Result(image.OpenPEImageFile(&file)), kNotPEImage);
    EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0)), kNoResourceSection);
}

// Directories that point back at the root make a walk of 2,000 x 2,000 x 2,000 entries out of
// a 16 KiB file; the reader must refuse it instead of running for hours.
TEST(ExeImageFile, DirectoriesSharedByEveryEntryAreRefusedQuickly)
{
    const std::uint32_t entries = 2000;
    Bytes section(16 + entries * 8, 0);
    Put16(section, 14, entries);
    for (std::uint32_t i = 0; i < entries; ++i) {
        Put32(section, 16 + i * 8, i + 1);
        Put32(section, 16 + i * 8 + 4, 0x80000000); // the root again
    }
    const Bytes image = pe_test::BuildImage(section, static_cast<std::uint32_t>(section.size()), 0, true);
    EXPECT_EQ(OpenArchiveIn(image), kNotPEImage);
}

TEST(ExeImageFile, BuiltImagesOfBothKindsOpen)
{
    for (bool plus : {false, true}) {
        Bytes section = pe_test::BuildArchiveResourceSection(5);
        const char data[] = "hello";
        section.insert(section.end(), data, data + 5);
        const Bytes bytes = pe_test::BuildImage(section, static_cast<std::uint32_t>(section.size()), 3000, plus);
        EMemoryFile file;
        Load(file, bytes);
        EXEImageFileObject image;
        ASSERT_EQ(Result(image.OpenPEImageFile(&file)), "(null)");
        EXPECT_EQ(image.GetImageCopyLength(), bytes.size() - 5);
        ASSERT_EQ(Result(image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0)), "(null)");
        EXPECT_EQ(ReadRest(image), "hello");
    }
}

// The failure texts are part of the interface: exact code-page 932 bytes.
TEST(ExeImageFile, FailureTextsAreExactCodePage932Bytes)
{
    EXEImageFileObject image;
    EXPECT_EQ(Result(image.OpenResource("a", "b", 0)), kImageNotOpened);
    EMemoryFile file;
    Load(file, ReadFixture("resources_i686.exe"));
    ASSERT_EQ(Result(image.OpenPEImageFile(&file)), "(null)");
    EXPECT_EQ(Result(image.OpenResource("x", "IDR_ARCHIVE", 0)), kTypeNotFound);
    EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "x", 0)), kNameNotFound);
    EXPECT_EQ(Result(image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 2)), kLanguageNotFound);
    // The first byte of the first text is the lead byte of 有 in code page 932.
    EXPECT_EQ(static_cast<unsigned char>(kNotPEImage[0]), 0x97u);
}

} // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "file/memory_file.h"
#include "file/stream_buffer.h"
#include "npl/heap.h"
#include "npl/platform/pages.h"
#include "tests/support/file_object_helpers.h"

namespace {

constexpr std::uint32_t kMemoryMode = NPLFileObject::modeCreate | NPLFileObject::modeRead | NPLFileObject::modeWrite;


std::string Contents(const EMemoryFile& file)
{
    EMemoryFile& mutableFile = const_cast<EMemoryFile&>(file);
    return std::string(reinterpret_cast<const char*>(file.GetData()), mutableFile.GetLength());
}

TEST(MemoryFile, StartsClosedAndCreateOpensItEmpty)
{
    EMemoryFile file;
    EXPECT_STREQ(file.GetClassName(), "EMemoryFile");
    EXPECT_EQ(file.IsKindOf("NPLFileObject"), 1);
    EXPECT_EQ(file.GetOpenMode(), 0u);
    EXPECT_EQ(file.GetData(), nullptr);
    EXPECT_EQ(file.GetCapacity(), 0u);

    EXPECT_EQ(file.Create(100), 0);
    EXPECT_EQ(file.GetOpenMode(), kMemoryMode);
    EXPECT_NE(file.GetData(), nullptr);
    EXPECT_EQ(file.GetCapacity(), 100u);
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.GetPosition(), 0u);

    file.Close();
    EXPECT_EQ(file.GetOpenMode(), 0u);
    EXPECT_EQ(file.GetData(), nullptr);
}

// The block grows to (end + count) rounded up to 4,096 bytes: room for as much again as the
// write that ran past it.
TEST(MemoryFile, WritesGrowTheBlockByTheWriteSizeAgainRoundedTo4096)
{
    EMemoryFile file;
    file.Create(0);
    EXPECT_EQ(file.Write("0123456789", 10), 10u);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_EQ(file.GetCapacity(), 4096u);

    std::vector<char> big(5000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    EXPECT_EQ(file.Write(big.data(), 5000), 5000u);
    EXPECT_EQ(file.GetLength(), 5010u);
    EXPECT_EQ(file.GetCapacity(), 12288u);
    EXPECT_EQ(Contents(file), "0123456789" + std::string(big.begin(), big.end()));

    // A write inside the block neither grows it nor the length.
    file.Seek(2, NPLFileObject::FromBegin);
    EXPECT_EQ(file.Write("AB", 2), 2u);
    EXPECT_EQ(file.GetLength(), 5010u);
    EXPECT_EQ(file.GetCapacity(), 12288u);
    EXPECT_EQ(Contents(file).substr(0, 6), "01AB45");
}

TEST(MemoryFile, ReadsStopAtTheEnd)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("0123456789", 10);
    EXPECT_EQ(file.Seek(4, NPLFileObject::FromBegin), 4u);
    EXPECT_EQ(ReadString(file, 100), "456789");
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_EQ(ReadString(file, 100), "");
    EXPECT_EQ(file.Seek(0, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(ReadString(file, 3), "012");

    // position + count wraps round in 32 bits; the count must still be cut to what is left
    // before a byte is copied (the destination only holds 16).
    char destination[16] = {};
    EXPECT_EQ(file.Seek(4, NPLFileObject::FromBegin), 4u);
    EXPECT_EQ(file.Read(destination, 0xFFFFFFFEu), 6u);
    EXPECT_EQ(std::string(destination, 6), "456789");
}

TEST(MemoryFile, SeekTargets)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("0123456789", 10);
    EXPECT_EQ(file.Seek(-5, NPLFileObject::FromBegin), 0u); // below 0 becomes 0
    EXPECT_EQ(file.GetPosition(), 0u);
    EXPECT_EQ(file.Seek(7, NPLFileObject::FromCurrent), 7u);
    EXPECT_EQ(file.Seek(-3, NPLFileObject::FromCurrent), 4u);
    EXPECT_EQ(file.Seek(-20, NPLFileObject::FromCurrent), 0u);
    EXPECT_EQ(file.Seek(-1, NPLFileObject::FromEnd), 9u);
    EXPECT_EQ(file.Seek(5, 3), 9u); // another origin leaves the position
    EXPECT_EQ(file.GetPosition(), 9u);
    EXPECT_EQ(file.GetLength(), 10u);
}

TEST(MemoryFile, SeekingPastTheEndOfAnOpenFileExtendsIt)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("0123456789", 10);
    EXPECT_EQ(file.Seek(100, NPLFileObject::FromEnd), 110u);
    EXPECT_EQ(file.GetLength(), 110u);
    EXPECT_EQ(file.GetCapacity(), 4096u);
    EXPECT_EQ(file.Write("!", 1), 1u);
    EXPECT_EQ(file.GetLength(), 111u);
    EXPECT_EQ(Contents(file).substr(0, 10), "0123456789");
    EXPECT_EQ(Contents(file)[110], '!');

    EXPECT_EQ(file.Seek(8000, NPLFileObject::FromBegin), 8000u);
    EXPECT_EQ(file.GetLength(), 8000u);
    EXPECT_EQ(file.GetCapacity(), 8192u);
}

TEST(MemoryFile, AClosedFileLetsThePositionLieBeyondItsLength)
{
    EMemoryFile file;
    EXPECT_EQ(file.Seek(50, NPLFileObject::FromBegin), 50u);
    EXPECT_EQ(file.GetLength(), 0u);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
}

// Beyond what the description of the memory file covers: a closed file owns no block, so a
// write would make one that nothing frees, and a length set beyond the absent block would let
// reads run past it. Both are refused.
TEST(MemoryFile, AClosedFileRefusesWritesAndCuts)
{
    EMemoryFile file;
    EXPECT_EQ(file.Write("abc", 3), 0u);
    EXPECT_EQ(file.GetData(), nullptr);
    EXPECT_EQ(file.GetLength(), 0u);
    file.Seek(50, NPLFileObject::FromBegin);
    EXPECT_EQ(file.SetEndOfFile(), 1);
    EXPECT_EQ(file.GetLength(), 0u);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
}

// Positions are 32-bit: a target or an end past 0xFFFFFFFF would wrap round to a small
// position and write over the start of the block. Such requests change nothing and report 0.
TEST(MemoryFile, PositionsThatWouldPass32BitsAreRefused)
{
    EMemoryFile closed;
    ASSERT_EQ(closed.Seek(0x7FFFFFFF, NPLFileObject::FromBegin), 0x7FFFFFFFu);
    ASSERT_EQ(closed.Seek(0x7FFFFFFF, NPLFileObject::FromCurrent), 0xFFFFFFFEu);
    EXPECT_EQ(closed.Seek(2, NPLFileObject::FromCurrent), 0u);
    EXPECT_EQ(closed.GetPosition(), 0xFFFFFFFEu);
    EXPECT_EQ(closed.Seek(1, NPLFileObject::FromCurrent), 0xFFFFFFFFu);

    EMemoryFile file;
    file.Create(16);
    file.Write("abc", 3);
    char source[4] = { 'x', 'y', 'z', 'w' };
    // The count is not backed by the source here: it must be refused before a byte is read.
    EXPECT_EQ(file.Write(source, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(file.GetLength(), 3u);
    EXPECT_EQ(file.GetPosition(), 3u);
    EXPECT_EQ(file.GetCapacity(), 16u);
    EXPECT_EQ(Contents(file), "abc");
}

TEST(MemoryFile, SetEndOfFileCutsTheLengthButNotTheBlock)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("0123456789", 10);
    file.Seek(3, NPLFileObject::FromBegin);
    EXPECT_EQ(file.SetEndOfFile(), 0);
    EXPECT_EQ(file.GetLength(), 3u);
    EXPECT_EQ(file.GetCapacity(), 16u);
    EXPECT_EQ(file.Seek(0, NPLFileObject::FromEnd), 3u);
    file.Seek(0, NPLFileObject::FromBegin);
    EXPECT_EQ(ReadString(file, 100), "012");
}

// A file object class that keeps the defaults of the interface.
class PlainStream : public NPLFileObject {
public:
    NPLFileObject* Duplicate() override { return nullptr; }
    std::uint32_t Read(void*, std::uint32_t) override { return 0; }
    std::uint32_t Write(const void*, std::uint32_t) override { return 0; }
    std::uint32_t GetLength() override { return 0xFFFFFFF0u; }
    std::uint32_t Seek(std::int32_t offset, std::uint32_t) override
    {
        lastOffset = offset;
        return 0xFFFFFFFEu;
    }
    std::uint32_t GetPosition() override { return 0xFFFFFFFDu; }
    std::int32_t lastOffset = 0;
};

TEST(FileObjectDefaults, SixtyFourBitFormsWidenTheThirtyTwoBitOnes)
{
    PlainStream stream;
    EXPECT_STREQ(stream.GetClassName(), "NPLFileObject");
    EXPECT_EQ(stream.SetEndOfFile(), 1);
    EXPECT_EQ(stream.GetLargeLength(), 0xFFFFFFF0ull); // a zero high half, not sign-extended
    EXPECT_EQ(stream.GetLargePosition(), 0xFFFFFFFDull);
    EXPECT_EQ(stream.SeekLarge(0x1FFFFFFFFll, NPLFileObject::FromBegin), 0xFFFFFFFEull);
    EXPECT_EQ(stream.lastOffset, -1); // the low 32 bits taken as a signed value
    EXPECT_EQ(stream.SeekLarge(-2, NPLFileObject::FromEnd), 0xFFFFFFFEull);
    EXPECT_EQ(stream.lastOffset, -2);
    EXPECT_EQ(stream.OpenRelative(u"a.bin", 0x12), nullptr);
}

TEST(MemoryFile, UsesTheDefaultsForTheLargeFormsAndOpenRelative)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("0123456789", 10);
    EXPECT_EQ(file.GetLargeLength(), 10u);
    EXPECT_EQ(file.SeekLarge(-2, NPLFileObject::FromEnd), 8u);
    EXPECT_EQ(file.GetLargePosition(), 8u);
    EXPECT_EQ(file.OpenRelative(u"a.bin", 0x12), nullptr);
}

TEST(MemoryFile, DuplicateIsAnIndependentCopyAtPositionZero)
{
    EMemoryFile file;
    file.Create(4);
    file.Write("0123456789", 10);
    FilePointer copy(file.Duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetClassName(), "EMemoryFile");
    EXPECT_EQ(copy->GetOpenMode(), kMemoryMode);
    EXPECT_EQ(copy->GetPosition(), 0u);
    EXPECT_EQ(copy->GetLength(), 10u);
    EXPECT_EQ(static_cast<EMemoryFile*>(copy.get())->GetCapacity(), 10u);
    EXPECT_EQ(copy->Write("AB", 2), 2u);
    EXPECT_EQ(copy->Seek(0, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(ReadString(*copy, 100), "AB23456789");
    EXPECT_EQ(Contents(file), "0123456789");
    EXPECT_EQ(file.GetPosition(), 10u);

    EMemoryFile closed;
    FilePointer empty(closed.Duplicate());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetLength(), 0u);
    EXPECT_EQ(empty->Write("x", 1), 1u);
}

// While the system refuses every new heap region (and the no-memory question is answered
// No), a block cannot grow past what the heap already holds: the file must stay as it was.
class HeapExhausted : public ::testing::Test {
protected:
    static constexpr std::uint32_t kHuge = 16u << 20; // far beyond any region the heap holds

    void Exhaust()
    {
        nplHeapHookNoMemory([](int) { return 1; });
        npl::platform::InjectPageFailures(-1);
    }
    void TearDown() override
    {
        npl::platform::InjectPageFailures(0);
        nplHeapHookNoMemory(nullptr);
    }
};

TEST_F(HeapExhausted, WritesAndExtendingSeeksLeaveTheFileUnchanged)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("abc", 3);
    std::vector<char> big(kHuge, 'x');
    Exhaust();
    EXPECT_EQ(file.Write(big.data(), kHuge), 0u);
    EXPECT_EQ(file.Seek(static_cast<std::int32_t>(kHuge), NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(file.GetLength(), 3u);
    EXPECT_EQ(file.GetPosition(), 3u);
    EXPECT_EQ(file.GetCapacity(), 16u);
    EXPECT_EQ(Contents(file), "abc");
    EXPECT_EQ(file.Write("d", 1), 1u); // within the block nothing is asked of the heap
    EXPECT_EQ(Contents(file), "abcd");
}

TEST_F(HeapExhausted, CreateWithoutABlockGivesAnEmptyFileOfCapacityZero)
{
    EMemoryFile file;
    Exhaust();
    EXPECT_EQ(file.Create(kHuge), 0);
    EXPECT_EQ(file.GetOpenMode(), kMemoryMode);
    EXPECT_EQ(file.GetData(), nullptr);
    EXPECT_EQ(file.GetCapacity(), 0u); // not kHuge: a small write must not go through null
    EXPECT_EQ(file.Write("abc", 3), 3u);
    EXPECT_EQ(Contents(file), "abc");
}

TEST_F(HeapExhausted, DuplicateWithoutRoomForTheBytesIsNull)
{
    EMemoryFile file;
    file.Create(kHuge);
    ASSERT_NE(file.GetData(), nullptr);
    file.Seek(static_cast<std::int32_t>(kHuge), NPLFileObject::FromBegin);
    ASSERT_EQ(file.GetLength(), kHuge);
    Exhaust();
    EXPECT_EQ(file.Duplicate(), nullptr);
}

TEST_F(HeapExhausted, StreamBufferGivesNullAndStaysUsable)
{
    EStreamBuffer buffer;
    void* small = buffer.GetBuffer(64);
    ASSERT_NE(small, nullptr);
    Exhaust();
    EXPECT_EQ(buffer.GetBuffer(kHuge), nullptr);
    EXPECT_EQ(buffer.GetBuffer(64), small);
}

TEST(MemoryFile, CreateDiscardsTheContents)
{
    EMemoryFile file;
    file.Create(16);
    file.Write("0123456789", 10);
    EXPECT_EQ(file.Create(8), 0);
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.GetPosition(), 0u);
    EXPECT_EQ(file.GetCapacity(), 8u);
    EXPECT_EQ(ReadString(file, 100), "");
}

} // namespace

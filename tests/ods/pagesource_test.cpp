#include "ods/pagesource.h"

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratchdir.h"

namespace ravelin::ods {
namespace {

using testing::ScratchDir;
using testing::WriteFile;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kBlock = FilePageSource::kBlockSize;
constexpr std::uint64_t kFar = std::numeric_limits<std::uint64_t>::max();

// A byte that depends on its whole offset, so a read from the wrong block or
// a truncated offset shows.
std::uint8_t Pattern(std::uint64_t offset)
{
    return static_cast<std::uint8_t>(((offset + 1) * 0x9E3779B97F4A7C15ULL) >> 56);
}

Bytes PatternFile(std::uint64_t size)
{
    Bytes b(size);
    for (std::uint64_t k = 0; k < size; ++k)
        b[k] = Pattern(k);
    return b;
}

std::vector<std::byte> ReadSome(PageSource& source, std::uint64_t offset, std::size_t length)
{
    std::vector<std::byte> out(length, std::byte{0xAA});  // anything not written shows
    source.Read(offset, out);
    return out;
}

// What a read must yield: the file's byte where there is one, zero elsewhere,
// and never a byte reached by wrapping around the offset range.
std::uint8_t Expected(std::uint64_t size, std::uint64_t offset, std::uint64_t k)
{
    if (offset > kFar - k)
        return 0;
    const std::uint64_t at = offset + k;
    return at < size ? Pattern(at) : 0;
}

TEST(PageSource, ReadsAgainstTheFile)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::uint64_t size = 3 * kBlock + 1234;
    const std::string path = dir.File("pattern.gdb");
    ASSERT_TRUE(WriteFile(path, PatternFile(size)));

    struct Row {
        const char* name;
        std::uint64_t offset;
        std::size_t length;
    };
    const Row rows[] = {
        {"start of the file", 0, 16},
        {"crossing a block boundary", kBlock - 3, 10},
        {"spanning three blocks", kBlock - 5, 2 * kBlock + 10},
        {"last bytes", size - 4, 4},
        {"crossing the end", size - 4, 10},
        {"at the end", size, 8},
        {"far past the end", size + 1000000, 8},
        {"offset near 2^64 does not wrap to the start", kFar - 3, 8},
        {"last possible offset", kFar, 1},
        {"offset 2^63", std::uint64_t{1} << 63, 4},
        {"empty read", 100, 0},
    };
    std::unique_ptr<PageSource> file = FilePageSource::Open(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Size(), size);
    const Bytes content = PatternFile(size);
    std::vector<std::byte> raw(content.size());
    for (std::size_t k = 0; k < content.size(); ++k)
        raw[k] = std::byte{content[k]};
    MemoryPageSource memory(std::move(raw));

    for (PageSource* source : {static_cast<PageSource*>(file.get()), static_cast<PageSource*>(&memory)}) {
        SCOPED_TRACE(source == &memory ? "memory" : "file");
        for (const Row& r : rows) {
            SCOPED_TRACE(r.name);
            const auto out = ReadSome(*source, r.offset, r.length);
            for (std::size_t k = 0; k < out.size(); ++k)
                ASSERT_EQ(std::to_integer<std::uint8_t>(out[k]), Expected(size, r.offset, k)) << "byte " << k;
        }
    }
}

// Marks at the start of many blocks, read forwards and back, so blocks are
// evicted from the cache and read again.
TEST(PageSource, BlocksEvictedAndReadAgain)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("many.gdb");
    constexpr std::uint64_t kBlocks = 3 * FilePageSource::kCachedBlocks;
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kBlocks * kBlock)), 0);
        for (std::uint64_t i = 0; i < kBlocks; ++i) {
            const std::uint8_t mark[2] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 7)};
            ASSERT_EQ(::pwrite(fd, mark, 2, static_cast<off_t>(i * kBlock + 100)), 2);
        }
        ::close(fd);
    }
    auto source = FilePageSource::Open(path);
    ASSERT_NE(source, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        for (std::uint64_t n = 0; n < kBlocks; ++n) {
            const std::uint64_t i = pass == 0 ? n : kBlocks - 1 - n;
            const auto out = ReadSome(*source, i * kBlock + 100, 2);
            ASSERT_EQ(std::to_integer<std::uint8_t>(out[0]), static_cast<std::uint8_t>(i)) << "block " << i;
            ASSERT_EQ(std::to_integer<std::uint8_t>(out[1]), static_cast<std::uint8_t>(i * 7)) << "block " << i;
        }
    }
}

TEST(PageSource, OffsetsBeyondFourGiB)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("sparse.gdb");
    constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(k4G + 2 * kBlock)), 0);
        // The same offsets modulo 2^32 get different bytes: a truncated
        // offset reads the wrong ones.
        for (std::uint64_t at : {std::uint64_t{0}, k4G - 8, k4G + 100}) {
            std::uint8_t chunk[16];
            for (std::uint64_t k = 0; k < 16; ++k)
                chunk[k] = Pattern(at + k);
            ASSERT_EQ(::pwrite(fd, chunk, 16, static_cast<off_t>(at)), 16);
        }
        ::close(fd);
    }
    auto source = FilePageSource::Open(path);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->Size(), k4G + 2 * kBlock);
    struct Row {
        const char* name;
        std::uint64_t offset;
    };
    const Row rows[] = {{"crossing 4 GiB", k4G - 8}, {"above 4 GiB", k4G + 100}, {"below 4 GiB", 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const auto out = ReadSome(*source, r.offset, 16);
        for (std::size_t k = 0; k < out.size(); ++k)
            ASSERT_EQ(std::to_integer<std::uint8_t>(out[k]), Pattern(r.offset + k)) << "byte " << k;
    }
}

TEST(PageSource, BytesTheFileGainsAfterOpenReadAsZero)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("growing.gdb");
    ASSERT_TRUE(WriteFile(path, PatternFile(1000)));
    auto source = FilePageSource::Open(path);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(WriteFile(path, PatternFile(3000)));  // same first 1000 bytes, then more
    EXPECT_EQ(source->Size(), 1000u);
    const auto out = ReadSome(*source, 990, 20);
    for (std::size_t k = 0; k < out.size(); ++k)
        EXPECT_EQ(std::to_integer<std::uint8_t>(out[k]), k < 10 ? Pattern(990 + k) : 0) << "byte " << k;
}

TEST(PageSource, OpenFailures)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    std::string why;
    EXPECT_EQ(FilePageSource::Open(dir.File("missing.gdb"), &why), nullptr);
    EXPECT_EQ(why, std::strerror(ENOENT));
    why.clear();
    EXPECT_EQ(FilePageSource::Open(dir.path().string(), &why), nullptr);
    EXPECT_EQ(why, "not a regular file");
}

// A disk with a bad stretch: reads that touch it fail with EIO, either as a
// whole or after the bytes before it (both happen on real devices).
enum class Fault { None, WholeReadFails, ShortReadThenFails, InterruptedOnce };
Fault gFault = Fault::None;
std::uint64_t gBadStart = 0;
std::uint64_t gBadEnd = 0;
int gCalls = 0;

ssize_t FaultyPread(int fd, void* buffer, std::size_t count, off_t offset)
{
    ++gCalls;
    const auto start = static_cast<std::uint64_t>(offset);
    if (gFault == Fault::InterruptedOnce && gCalls == 1) {
        errno = EINTR;
        return -1;
    }
    const bool touches = gFault != Fault::InterruptedOnce && start < gBadEnd && start + count > gBadStart;
    if (touches) {
        if (gFault == Fault::ShortReadThenFails && start < gBadStart)
            return ::pread(fd, buffer, static_cast<std::size_t>(gBadStart - start), offset);
        errno = EIO;
        return -1;
    }
    return ::pread(fd, buffer, count, offset);
}

TEST(PageSource, UnreadableStretchCostsOnlyItsUnits)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("badsector.gdb");
    const std::uint64_t size = 2 * kBlock;
    ASSERT_TRUE(WriteFile(path, PatternFile(size)));
    constexpr std::uint64_t kUnit = FilePageSource::kRetryUnit;
    const std::uint64_t badStart = kBlock / 2 + 100;  // inside one 4 KiB unit
    const std::uint64_t unitStart = badStart / kUnit * kUnit;

    struct Row {
        const char* name;
        Fault fault;
        std::uint64_t zeroFrom;  // expected zero bytes: [zeroFrom, zeroTo)
        std::uint64_t zeroTo;
    };
    const Row rows[] = {
        {"whole read fails", Fault::WholeReadFails, unitStart, unitStart + kUnit},
        {"short read, then failure", Fault::ShortReadThenFails, badStart, unitStart + kUnit},
        {"interrupted read is repeated", Fault::InterruptedOnce, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        gFault = r.fault;
        gBadStart = badStart;
        gBadEnd = badStart + 512;
        gCalls = 0;
        auto source = FilePageSource::Open(path, nullptr, &FaultyPread);
        ASSERT_NE(source, nullptr);
        const auto out = ReadSome(*source, 0, static_cast<std::size_t>(size));
        for (std::uint64_t k = 0; k < size; ++k) {
            const bool zero = k >= r.zeroFrom && k < r.zeroTo;
            ASSERT_EQ(std::to_integer<std::uint8_t>(out[k]), zero ? 0 : Pattern(k)) << "byte " << k;
        }
    }
    gFault = Fault::None;
}

}  // namespace
}  // namespace ravelin::ods

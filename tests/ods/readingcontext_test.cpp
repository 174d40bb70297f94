#include "ods/readingcontext.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ods/constants.h"
#include "ods/pagesource.h"
#include "ods/textcodec.h"
#include "scratchdir.h"

namespace ravelin::ods {
namespace {

using testing::ReadWholeFile;
using testing::ScratchDir;
using testing::WriteFile;
using Bytes = std::vector<std::uint8_t>;

void PutWord(Bytes& b, std::uint64_t offset, std::uint16_t value)
{
    b.at(offset) = static_cast<std::uint8_t>(value);
    b.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

// pages pages of pageSize bytes, each with a type byte, the checksum word and
// some filler that never holds the checksum value.
Bytes Database(std::uint32_t pageSize, std::uint32_t pages)
{
    Bytes b(std::size_t{pageSize} * pages);
    for (std::uint32_t p = 0; p < pages; ++p) {
        const std::size_t at = std::size_t{p} * pageSize;
        b[at] = p == 0 ? 1 : kDataPage;
        PutWord(b, at + kChecksumOffset, kPageChecksum);
        for (std::size_t k = 4; k < pageSize; k += 2)
            b[at + k] = static_cast<std::uint8_t>(k / 2);
    }
    return b;
}

std::unique_ptr<PageSource> Memory(const Bytes& b)
{
    std::vector<std::byte> raw(b.size());
    for (std::size_t k = 0; k < b.size(); ++k)
        raw[k] = std::byte{b[k]};
    return std::make_unique<MemoryPageSource>(std::move(raw));
}

struct PageSizeCase {
    const char* name;
    std::function<Bytes()> make;
    std::uint32_t expected;  // 0: no page size, the file is invalid
};

const std::vector<PageSizeCase>& PageSizeCases()
{
    static const std::vector<PageSizeCase> cases = {
        // Every page of a 1024-byte file carries the word, so pages 10, 12 and
        // 14 (the 2048 probes) do too: the smaller size wins.
        {"1024-byte pages, 2048 probes also match", [] { return Database(1024, 20); }, 1024},
        {"2048-byte pages", [] { return Database(2048, 10); }, 2048},
        {"4096-byte pages", [] { return Database(4096, 10); }, 4096},
        {"8192-byte pages", [] { return Database(8192, 10); }, 8192},
        {"16384-byte pages", [] { return Database(16384, 9); }, 16384},
        {"4096, page 0 zeroed",
         [] {
             Bytes b = Database(4096, 10);
             std::fill(b.begin(), b.begin() + 4096, 0);
             return b;
         },
         4096},
        {"4096, only pages 5 to 7 carry the word",
         [] {
             Bytes b(4096 * 8);
             for (std::uint64_t p : {5, 6, 7})
                 PutWord(b, p * 4096 + 2, kPageChecksum);
             return b;
         },
         4096},
        {"all zeros", [] { return Bytes(200000); }, 0},
        {"empty file", [] { return Bytes(); }, 0},
        // No page is special: a damaged page costs only its own vote.
        {"4096, a file of 5 pages", [] { return Database(4096, 5); }, 4096},
        {"1024, file ends inside page 7's word",
         [] {
             Bytes b = Database(1024, 8);
             b.resize(7 * 1024 + 3);
             return b;
         },
         1024},
        {"1024, pages 5 to 7 zeroed",
         [] {
             Bytes b = Database(1024, 20);
             std::fill(b.begin() + 5 * 1024, b.begin() + 8 * 1024, 0);
             return b;
         },
         1024},
        {"1024, header page and pages 5 to 7 zeroed: not taken for 2048",
         [] {
             Bytes b = Database(1024, 20);
             std::fill(b.begin(), b.begin() + 1024, 0);
             std::fill(b.begin() + 5 * 1024, b.begin() + 8 * 1024, 0);
             return b;
         },
         1024},
        {"4096 file, stray checksum words at 1024 offsets",
         [] {
             Bytes b = Database(4096, 10);
             for (std::size_t p : {5, 6, 7, 9})
                 PutWord(b, p * 1024 + 2, kPageChecksum), b[p * 1024] = kDataPage;
             return b;
         },
         4096},
        {"8192 file, stray checksum words at 2048 offsets",
         [] {
             Bytes b = Database(8192, 10);
             for (std::size_t p : {5, 7, 9})
                 PutWord(b, p * 2048 + 2, kPageChecksum), b[p * 2048] = kDataPage;
             return b;
         },
         8192},
        {"4096, page 7 overwritten", [] {
             Bytes b = Database(4096, 10);
             std::fill(b.begin() + 7 * 4096, b.begin() + 8 * 4096, 0xFF);
             return b;
         },
         4096},
        {"4096, the header page names 8192: the pages overrule it",
         [] {
             Bytes b = Database(4096, 10);
             PutWord(b, kHeaderPageSizeOffset, 8192);
             return b;
         },
         4096},
        {"4096, 5% of the pages zeroed or overwritten",
         [] {
             Bytes b = Database(4096, 200);
             for (std::size_t p = 3; p < 200; p += 20) {
                 std::fill(b.begin() + static_cast<std::ptrdiff_t>(p * 4096),
                           b.begin() + static_cast<std::ptrdiff_t>((p + 1) * 4096), p % 40 == 3 ? 0 : 0x5A);
             }
             return b;
         },
         4096},
        {"a page type no page has (0xFF) does not make a page", [] {
             Bytes b = Database(4096, 10);
             for (std::size_t p = 0; p < 10; ++p)
                 b[p * 4096] = 0xFF;
             return b;
         },
         0},
        {"too few pages to tell: the header page names the size",
         [] {
             Bytes b(2 * 4096);
             b[0] = kHeaderPage;
             PutWord(b, kHeaderPageSizeOffset, 4096);
             return b;
         },
         4096},
        {"a header page whose size does not divide the file is not sound",
         [] {
             Bytes b(2 * 4096 + 100);
             b[0] = kHeaderPage;
             PutWord(b, kHeaderPageSizeOffset, 4096);
             return b;
         },
         0},
        {"random bytes", [] {
             Bytes b(300000);
             std::uint32_t x = 12345;
             for (auto& byte : b)
                 byte = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
             return b;
         },
         0},
        {"checksum word stored big-endian",
         [] {
             Bytes b(4096 * 8);
             for (std::size_t p : {5, 6, 7}) {
                 b[p * 4096 + 2] = 0x30;
                 b[p * 4096 + 3] = 0x39;
             }
             return b;
         },
         0},
    };
    return cases;
}

TEST(PageSizeDetection, SyntheticFiles)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    constexpr std::uint32_t kEarlier = 2048;  // left by an earlier job
    for (const PageSizeCase& c : PageSizeCases()) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = c.make();
        auto source = Memory(bytes);
        EXPECT_EQ(DetectPageSize(*source), c.expected);

        const std::string path = dir.File("db.gdb");
        ASSERT_TRUE(WriteFile(path, bytes));
        ReadingContext context;
        context.pageSize = kEarlier;
        const bool opened = context.OpenDatabaseFile(path);
        EXPECT_EQ(opened, c.expected != 0);
        EXPECT_EQ(context.fileHandle != nullptr, opened);
        if (opened) {
            EXPECT_EQ(context.pageSize, c.expected);
            EXPECT_EQ(context.fileSize, bytes.size());
            EXPECT_EQ(context.scanStart, std::uint64_t{80} * c.expected);
            EXPECT_EQ(context.PageCount(), bytes.size() / c.expected);
        } else {
            // A failed detection keeps the page size of the previous job.
            EXPECT_EQ(context.pageSize, kEarlier);
        }
    }
}

TEST(PageSizeDetection, FailedOpenReleasesThePreviousFile)
{
    ReadingContext context;
    ASSERT_TRUE(context.OpenSource(Memory(Database(4096, 10))));
    ASSERT_NE(context.fileHandle, nullptr);
    EXPECT_FALSE(context.OpenDatabaseFile("/nonexistent/ravelin/db.gdb"));
    EXPECT_EQ(context.fileHandle, nullptr);
    EXPECT_EQ(context.pageSize, 4096u);
    // With no file open every read is zero.
    EXPECT_EQ(context.ReadProbeWord(5 * 4096 + 2), 0);
}

std::uint64_t Fnv1a(const Bytes& bytes)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ULL;
    }
    return h;
}

TEST(PageSizeDetection, RealSamplesAndTheyStayUnchanged)
{
    const std::filesystem::path root = RAVELIN_SAMPLES_DIR;
    if (!std::filesystem::exists(root / "ods13"))
        GTEST_SKIP() << "no sample databases at " << root;
    struct Sample {
        const char* file;
        std::uint32_t pageSize;
        std::uint64_t pages;
    };
    const Sample samples[] = {
        {"ods15/EMPLOYEE.GDB", 1024, 619}, {"ods13/MASTSQL.GDB", 4096, 278}, {"ods16/EVENTS.GDB", 4096, 313},
        {"ods16/dbdemos.gdb", 4096, 802},  {"ods13/DBUTILSTEST.IB", 8192, 284},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.file);
        const std::string path = (root / s.file).string();
        const Bytes before = ReadWholeFile(path);
        ASSERT_FALSE(before.empty());
        const auto mtimeBefore = std::filesystem::last_write_time(path);

        ReadingContext context;
        bool inUse = false;
        EXPECT_EQ(context.QueryDatabaseFileSize(path, inUse), before.size());
        EXPECT_FALSE(inUse);
        ASSERT_TRUE(context.OpenDatabaseFile(path));
        EXPECT_EQ(context.pageSize, s.pageSize);
        EXPECT_EQ(context.PageCount(), s.pages);
        // Every page from the scan start on carries the checksum word.
        for (std::uint64_t p = kFirstScannedPage; p < context.PageCount(); ++p)
            ASSERT_EQ(context.ReadProbeWord(p * s.pageSize + kChecksumOffset), kPageChecksum) << "page " << p;
        context.Close();

        EXPECT_EQ(Fnv1a(ReadWholeFile(path)), Fnv1a(before));
        EXPECT_EQ(std::filesystem::last_write_time(path), mtimeBefore);
    }
}

TEST(PageSizeDetection, FileBeyondFourGiB)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("big.gdb");
    const Bytes head = Database(4096, 10);
    ASSERT_TRUE(WriteFile(path, head));
    const std::uint64_t size = (std::uint64_t{5} << 30) + 4096;  // sparse
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
    ReadingContext context;
    ASSERT_TRUE(context.OpenDatabaseFile(path));
    EXPECT_EQ(context.fileSize, size);
    EXPECT_EQ(context.fileSizeHigh, 1u);
    EXPECT_EQ(context.fileSizeLow, (1u << 30) + 4096);
    EXPECT_EQ(context.PageCount(), size / 4096);
}

// Another process that opens the file and holds a lock on it until released.
enum class LockKind { None, FlockExclusive, FlockShared, FcntlWrite, FcntlRead };

class LockHolder {
public:
    LockHolder(const std::string& path, LockKind kind)
    {
        if (kind == LockKind::None)
            return;
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const bool write = kind == LockKind::FcntlWrite;
            const int fd = ::open(path.c_str(), write ? O_RDWR : O_RDONLY);
            bool ok = fd >= 0;
            if (ok && (kind == LockKind::FlockExclusive || kind == LockKind::FlockShared)) {
                ok = ::flock(fd, kind == LockKind::FlockExclusive ? LOCK_EX : LOCK_SH) == 0;
            } else if (ok) {
                struct flock lock {};
                lock.l_type = write ? F_WRLCK : F_RDLCK;
                lock.l_whence = SEEK_SET;
                ok = ::fcntl(fd, F_SETLK, &lock) == 0;
            }
            const char answer = ok ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            char wait = 0;
            (void)!::read(release[0], &wait, 1);  // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd_ = release[1];
        char answer = 0;
        locked_ = pid_ > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool locked() const { return locked_; }
    void Release()
    {
        if (releaseFd_ >= 0)
            ::close(releaseFd_);
        releaseFd_ = -1;
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};

TEST(QueryDatabaseFileSize, SizesAndLocks)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    struct Row {
        const char* name;
        std::function<std::string()> make;  // yields the path to query
        LockKind lock;
        std::uint64_t expectedSize;
        bool expectedInUse;
    };
    const auto file = [&dir](std::size_t size, mode_t mode) {
        const std::string path = dir.File("f" + std::to_string(size) + "_" + std::to_string(mode));
        WriteFile(path, Bytes(size, 0x5A));
        ::chmod(path.c_str(), mode);
        return path;
    };
    const Row rows[] = {
        {"plain file", [&] { return file(12345, 0644); }, LockKind::None, 12345, false},
        {"empty file", [&] { return file(0, 0644); }, LockKind::None, 0, false},
        {"read-only file", [&] { return file(4000, 0444); }, LockKind::None, 4000, false},
        {"missing path", [&] { return dir.File("missing.gdb"); }, LockKind::None, 0, false},
        {"a folder", [&] { return dir.path().string(); }, LockKind::None, 0, false},
        {"exclusive BSD lock held elsewhere", [&] { return file(5000, 0644); }, LockKind::FlockExclusive, 0, true},
        {"shared BSD lock held elsewhere", [&] { return file(5001, 0644); }, LockKind::FlockShared, 0, true},
        {"POSIX write lock held elsewhere", [&] { return file(5002, 0644); }, LockKind::FcntlWrite, 0, true},
        {"POSIX read lock held elsewhere", [&] { return file(5003, 0644); }, LockKind::FcntlRead, 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string path = r.make();
        LockHolder holder(path, r.lock);
        ASSERT_EQ(holder.locked(), r.lock != LockKind::None);
        ReadingContext context;
        bool inUse = false;
        EXPECT_EQ(context.QueryDatabaseFileSize(path, inUse), r.expectedSize);
        EXPECT_EQ(inUse, r.expectedInUse);
        if (r.lock != LockKind::None) {
            // Once the other process lets go, the file is free again.
            holder.Release();
            inUse = false;
            EXPECT_EQ(context.QueryDatabaseFileSize(path, inUse), std::filesystem::file_size(path));
            EXPECT_FALSE(inUse);
        }
    }
}

// Readers probing the same file at the same time (two windows, a window and
// the command line) never take each other for a database server.
TEST(QueryDatabaseFileSize, ReadersProbingAtOnceDoNotHoldTheFileForEachOther)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("shared.gdb");
    ASSERT_TRUE(WriteFile(path, Database(4096, 10)));
    constexpr int kReaders = 4;
    std::vector<pid_t> readers;
    for (int i = 0; i < kReaders; ++i) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int round = 0; round < 300; ++round) {
                ReadingContext context;
                bool inUse = false;
                if (context.QueryDatabaseFileSize(path, inUse) != 40960 || inUse)
                    ::_exit(1);
            }
            ::_exit(0);
        }
        readers.push_back(pid);
    }
    for (const pid_t pid : readers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a reader found the file in use";
    }
}

TEST(QueryDatabaseFileSize, LeavesTheOpenFileAlone)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const Bytes db = Database(4096, 10);
    ASSERT_TRUE(WriteFile(dir.File("open.gdb"), db));
    ASSERT_TRUE(WriteFile(dir.File("other.gdb"), Bytes(777)));
    ReadingContext context;
    ASSERT_TRUE(context.OpenDatabaseFile(dir.File("open.gdb")));
    bool inUse = false;
    EXPECT_EQ(context.QueryDatabaseFileSize(dir.File("other.gdb"), inUse), 777u);
    ASSERT_NE(context.fileHandle, nullptr);
    EXPECT_EQ(context.fileSize, db.size());
    EXPECT_EQ(context.PageCount(), 10u);
    EXPECT_EQ(context.ReadProbeWord(7 * 4096 + 2), kPageChecksum);
}

// The damaged file is only ever opened for reading: a user who may not write
// it can still recover it, and the descriptor kept open is read-only.
TEST(QueryDatabaseFileSize, ReadOnlyFileOpensWithoutWriteAccess)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    ::chmod(dir.path().c_str(), 0755);
    const std::string path = dir.File("readonly.gdb");
    const Bytes db = Database(4096, 10);
    ASSERT_TRUE(WriteFile(path, db));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);

    // In a child that gives up root (tests often run as root, which may write
    // any file), so that write access is really refused.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        if (::open(path.c_str(), O_RDWR) >= 0)
            ::_exit(11);  // write access was not refused: the check proves nothing
        ReadingContext context;
        bool inUse = false;
        if (context.QueryDatabaseFileSize(path, inUse) != db.size() || inUse)
            ::_exit(1);
        if (!context.OpenDatabaseFile(path) || context.pageSize != 4096)
            ::_exit(2);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 10) << "could not drop privileges";
    ASSERT_NE(WEXITSTATUS(status), 11) << "the file was writable after all";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The descriptor the context keeps is opened read-only.
    ReadingContext context;
    ASSERT_TRUE(context.OpenDatabaseFile(path));
    int accessMode = -1;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) != path)
            continue;
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        std::string key;
        while (info >> key) {
            if (key == "flags:") {
                std::string octal;
                info >> octal;
                accessMode = static_cast<int>(std::stoul(octal, nullptr, 8)) & O_ACCMODE;
            }
        }
    }
    EXPECT_EQ(accessMode, O_RDONLY);
}

// A file attached by the database engine itself (our platform's embedded
// engine through isql-fb) is reported in use while attached.
TEST(QueryDatabaseFileSize, FileAttachedByTheEngineIsInUse)
{
    if (::access("/usr/bin/isql-fb", X_OK) != 0)
        GTEST_SKIP() << "isql-fb not installed";
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.File("attached.fdb");
    const std::string create = "echo \"CREATE DATABASE '" + path +
                               "' USER 'SYSDBA';\" | /usr/bin/isql-fb -q >/dev/null 2>&1";
    if (std::system(create.c_str()) != 0 || !std::filesystem::exists(path))
        GTEST_SKIP() << "the embedded engine could not create a database";

    FILE* session = ::popen(("/usr/bin/isql-fb -q -user SYSDBA '" + path + "' >/dev/null 2>&1").c_str(), "w");
    ASSERT_NE(session, nullptr);
    ReadingContext context;
    bool inUse = false;
    std::uint64_t size = 1;
    for (int attempt = 0; attempt < 300 && !inUse; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        size = context.QueryDatabaseFileSize(path, inUse);
    }
    EXPECT_TRUE(inUse);
    EXPECT_EQ(size, 0u);
    ::pclose(session);  // end of input: isql detaches and exits

    inUse = false;
    EXPECT_EQ(context.QueryDatabaseFileSize(path, inUse), std::filesystem::file_size(path));
    EXPECT_FALSE(inUse);
}

TEST(ReadingContext, SeekByModes)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    struct Row {
        const char* name;
        std::int64_t start;
        std::int16_t distance;
        int mode;
        std::int64_t expected;
    };
    const Row rows[] = {
        {"forward 0 asks for the position", 500, 0, kSeekForward, 500},
        {"forward 4", 500, 4, kSeekForward, 504},
        {"forward 32767", 0, 32767, kSeekForward, 32767},
        {"forward distance -32768 is 32768", 10, -32768, kSeekForward, 32778},
        {"forward distance -1 is 65535", 10, -1, kSeekForward, 65545},
        {"backward 1", 500, -1, kSeekBackward, 499},
        {"backward 2", 500, -2, kSeekBackward, 498},
        {"backward 32768", 40000, -32768, kSeekBackward, 7232},
        {"backward with a positive distance does not move", 500, 5, kSeekBackward, 500},
        {"backward never before 0", 3, -10, kSeekBackward, 0},
        {"mode 0 does not move", 500, 9, 0, 500},
        {"mode 1 does not move", 500, 9, 1, 500},
        {"mode 9 does not move", 500, -9, 9, 500},
        {"mode -1 does not move", 500, 9, -1, 500},
        {"forward at the far end holds there", kMax - 10, -1, kSeekForward, kMax},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ReadingContext context;
        context.Seek(static_cast<std::uint64_t>(r.start));
        EXPECT_EQ(context.SeekBy(r.distance, r.mode), r.expected);
        EXPECT_EQ(context.position, r.expected);
        EXPECT_EQ(context.lastPosition, r.expected);
    }
}

TEST(ReadingContext, ReadsAndPositions)
{
    Bytes b(64);
    for (std::size_t k = 0; k < b.size(); ++k)
        b[k] = static_cast<std::uint8_t>(0xA0 + k);
    ReadingContext context;
    context.fileHandle = Memory(b);
    context.Seek(1);
    EXPECT_EQ(context.ReadByte(), 0xA1);
    EXPECT_EQ(context.ReadWord(), 0xA3A2);
    EXPECT_EQ(context.ReadLong(), 0xA7A6A5A4u);
    EXPECT_EQ(context.lastPosition, 8);
    EXPECT_EQ(context.bytesRead, 4u);
    // Past the end: zeros, the position still moves.
    context.Seek(62);
    EXPECT_EQ(context.ReadLong(), 0x0000DFDEu);
    EXPECT_EQ(context.lastPosition, 66);
    // Offsets beyond the signed range are held at its end and read zero.
    EXPECT_EQ(context.Seek(std::numeric_limits<std::uint64_t>::max()), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(context.ReadLong(), 0u);
    EXPECT_EQ(context.lastPosition, std::numeric_limits<std::int64_t>::max());
}

TEST(ReadingContext, ReadStoredString)
{
    ASSERT_TRUE(SetCodePage("WIN1252"));
    struct Row {
        const char* name;
        Bytes bytes;
        std::uint16_t length;
        bool skipLengthWord;
        std::string text;
        std::int64_t endPosition;
    };
    const Row rows[] = {
        {"plain text", {'N', 'A', 'M', 'E', 'X'}, 4, false, "NAME", 4},
        {"text through the code page", {'c', 'a', 'f', 0xE9}, 4, false, "caf\xC3\xA9", 4},
        {"ends at the first zero", {'A', 'B', 0, 'C'}, 4, false, "AB", 4},
        {"length word skipped", {9, 0, 9, 0, 'D', 'E', 'F'}, 7, true, "DEF", 7},
        {"length below 4 with the skip", {1, 2, 3, 4, 'Z'}, 3, true, "", 4},
        {"runs past the end of the file", {'E', 'N', 'D'}, 10, false, "END", 10},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ReadingContext context;
        context.fileHandle = Memory(r.bytes);
        context.Seek(0);
        EXPECT_EQ(context.ReadStoredString(r.length, r.skipLengthWord), r.text);
        EXPECT_EQ(context.lastPosition, r.endPosition);
    }
}

TEST(ReadingContext, FormatTimeStamp)
{
    // "Thursday, December 10, 2026  04:29:58  AM": weekday, month, 2-digit
    // day, year, two blanks, 12-hour time, two blanks, AM/PM.
    const std::string stamp = FormatTimeStamp();
    SCOPED_TRACE(stamp);
    const std::vector<std::string> days = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                           "Friday", "Saturday", "Sunday"};
    const std::vector<std::string> months = {"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
    const auto comma = stamp.find(", ");
    ASSERT_NE(comma, std::string::npos);
    EXPECT_NE(std::find(days.begin(), days.end(), stamp.substr(0, comma)), days.end());
    const auto space = stamp.find(' ', comma + 2);
    ASSERT_NE(space, std::string::npos);
    EXPECT_NE(std::find(months.begin(), months.end(), stamp.substr(comma + 2, space - comma - 2)), months.end());
    const std::string rest = stamp.substr(space + 1);  // "10, 2026  04:29:58  AM"
    ASSERT_EQ(rest.size(), 22u);
    const auto digits = [&rest](std::size_t at, std::size_t n) {
        return std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(at),
                           rest.begin() + static_cast<std::ptrdiff_t>(at + n), [](char c) { return c >= '0' && c <= '9'; });
    };
    EXPECT_TRUE(digits(0, 2) && digits(4, 4) && digits(10, 2) && digits(13, 2) && digits(16, 2));
    EXPECT_EQ(rest.substr(2, 2), ", ");
    EXPECT_EQ(rest.substr(8, 2), "  ");
    EXPECT_EQ(rest[12], ':');
    EXPECT_EQ(rest[15], ':');
    EXPECT_EQ(rest.substr(18, 2), "  ");
    EXPECT_TRUE(rest.substr(20) == "AM" || rest.substr(20) == "PM");
    const int hour = std::stoi(rest.substr(10, 2));
    EXPECT_TRUE(hour >= 1 && hour <= 12);
}

}  // namespace
}  // namespace ravelin::ods

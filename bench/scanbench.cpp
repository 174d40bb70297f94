// Measures the page scan against a plain sequential read of the same file.
//
// Writes a synthetic database file of at least 1 GiB (a 16 MiB stretch of
// mixed pages built by the fixture writer, repeated), then times each of
// these once cold (the file evicted from the page cache just before) and in
// five warm rounds taken in turn (median reported):
//   - read() of the whole file in 1 MiB chunks,
//   - `cat FILE > /dev/null`,
//   - ScanPages over the file through the reading context's block cache.
// The warm figures are the ones to compare; the goal is a scan at
// least half as fast as the sequential read. Prints MB/s, the ratio and the
// peak resident set size of this process (the file is built in a child
// process, so the figure is the reading side's alone).
//
// Usage: ravelin-bench-scan [--size-mib N] [--page-size N] [--dir PATH] [--keep]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture/fixturewriter.h"
#include "job/frame.h"
#include "ods/constants.h"
#include "ods/pagescan.h"
#include "ods/readingcontext.h"

namespace {

using Clock = std::chrono::steady_clock;
using ravelin::fixture::FixtureWriter;

struct Options {
    std::uint64_t sizeMiB = 1024;
    std::uint32_t pageSize = 4096;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    bool keep = false;
};

// A frame that swallows every message (the window side's cost is not part
// of the reader's).
class NullFrame final : public ravelin::job::Frame {
public:
    std::uint64_t messages = 0;
    std::intptr_t Send(std::uint32_t, std::uintptr_t, std::intptr_t) override
    {
        ++messages;
        return 0;
    }
};

// One 16 MiB stretch of pages as a database of user tables holds them: data
// pages full of records, pointer pages, blob index pages, index pages, blob
// pages and a few catalogue data pages.
FixtureWriter BuildStretch(std::uint32_t pageSize)
{
    FixtureWriter writer(pageSize);
    const std::uint32_t stretchPages = static_cast<std::uint32_t>((16u << 20) / pageSize);
    std::uint16_t relation = 128;
    std::uint32_t row = 0;
    while (writer.pageCount() < FixtureWriter::kFirstFreePage + stretchPages) {
        // Per group of 64 pages: 50 data pages, 1 pointer and 1 blob index
        // page, 6 index pages, 4 blob pages, 2 catalogue data pages.
        std::vector<std::uint32_t> dataPages;
        for (int p = 0; p < 50; ++p) {
            const std::uint32_t page = writer.AddDataPage(relation);
            dataPages.push_back(page);
            for (;;) {
                ravelin::fixture::Bytes data(4, std::byte{0});
                const std::string text = "ROW " + std::to_string(row++) + " OF TABLE " + std::to_string(relation);
                const auto textBytes = ravelin::fixture::ToBytes(text);
                data.insert(data.end(), textBytes.begin(), textBytes.end());
                data.resize(120, std::byte{0x20});
                const auto stored =
                    ravelin::fixture::BuildStoredRecord({}, ravelin::fixture::Compress(data));
                if (!writer.PlaceRecord(page, stored))
                    break;
            }
        }
        writer.AddPointerPage(relation, dataPages);
        writer.AddBlobIndexPage(relation);
        for (int p = 0; p < 6; ++p)
            writer.AddPage(7);
        for (int p = 0; p < 4; ++p)
            writer.AddPage(8);
        writer.AddDataPage(ravelin::ods::kRelFields);
        writer.AddDataPage(ravelin::ods::kRelRelations);
        relation = static_cast<std::uint16_t>(relation == 400 ? 128 : relation + 1);
    }
    return writer;
}

bool WriteAll(int fd, const std::byte* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the file in a child process so the image's memory never counts in
// this process's peak RSS.
bool WriteFile(const Options& options, const std::filesystem::path& path)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const FixtureWriter writer = BuildStretch(options.pageSize);
        const auto& image = writer.image();
        const std::size_t head = std::size_t{FixtureWriter::kFirstFreePage} * options.pageSize;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            ::_exit(1);
        if (!WriteAll(fd, image.data(), image.size()))
            ::_exit(1);
        const std::uint64_t target = options.sizeMiB << 20;
        std::uint64_t written = image.size();
        while (written < target) {
            if (!WriteAll(fd, image.data() + head, image.size() - head))
                ::_exit(1);
            written += image.size() - head;
        }
        ::fdatasync(fd);
        ::close(fd);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Drops the file's pages from the page cache (they are clean after fdatasync).
void Evict(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double Seconds(const std::function<void()>& run)
{
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t SequentialRead(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> buffer(1u << 20);
    std::uint64_t total = 0;
    std::uint64_t checksum = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<std::uint64_t>(n);
        checksum += static_cast<unsigned char>(buffer[0]);  // touch the data
    }
    ::close(fd);
    return total + (checksum & 0);
}

struct ScanResult {
    std::uint64_t pages = 0;
    std::uint64_t filed = 0;
    std::size_t nodes = 0;
};

ScanResult Scan(const std::filesystem::path& path)
{
    ravelin::ods::ReadingContext context;
    ScanResult result;
    if (!context.OpenDatabaseFile(path.string()))
        return result;
    NullFrame frame;
    std::atomic<bool> stop{false};
    std::string logLine;
    ravelin::job::WorkerLink link{frame, stop, logLine};
    ravelin::ods::PageList lists;
    ravelin::ods::ScanPages(context, lists, link);
    result.pages = context.PageCount();
    result.nodes = lists.size();
    for (const auto& node : lists)
        result.filed += node.pagePositions.size();
    return result;
}

long PeakRssKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--size-mib" && hasValue) {
            options.sizeMiB = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--page-size" && hasValue) {
            options.pageSize = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--dir" && hasValue) {
            options.dir = argv[++i];
        } else if (arg == "--keep") {
            options.keep = true;
        } else {
            std::fprintf(stderr, "usage: %s [--size-mib N] [--page-size N] [--dir PATH] [--keep]\n", argv[0]);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    const auto path = options.dir / ("ravelin-bench-scan-" + std::to_string(::getpid()) + ".gdb");
    std::printf("writing %llu MiB synthetic file (%u-byte pages) to %s\n",
                static_cast<unsigned long long>(options.sizeMiB), options.pageSize, path.c_str());
    const double writeSeconds = Seconds([&] {
        if (!WriteFile(options, path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
    });
    const std::uint64_t size = std::filesystem::file_size(path);
    const double mb = static_cast<double>(size) / 1e6;
    std::printf("file: %llu bytes, written in %.2f s\n\n", static_cast<unsigned long long>(size), writeSeconds);

    const std::string cat = "cat '" + path.string() + "' > /dev/null";
    const auto runRead = [&] { SequentialRead(path); };
    const auto runCat = [&] {
        if (std::system(cat.c_str()) != 0)
            std::fprintf(stderr, "cat failed\n");
    };
    ScanResult scan;
    const auto runScan = [&] { scan = Scan(path); };

    // Cold: each reader once right after the file left the page cache.
    Evict(path);
    const double readCold = Seconds(runRead);
    Evict(path);
    const double catCold = Seconds(runCat);
    Evict(path);
    const double scanCold = Seconds(runScan);
    // Warm: the three readers in turn, several rounds, so load from other
    // processes falls on all of them alike; the median of each is reported.
    constexpr int kWarmRounds = 5;
    std::vector<double> readWarm, catWarm, scanWarm;
    for (int round = 0; round < kWarmRounds; ++round) {
        readWarm.push_back(Seconds(runRead));
        catWarm.push_back(Seconds(runCat));
        scanWarm.push_back(Seconds(runScan));
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double readSec[2] = {readCold, median(readWarm)};
    const double catSec[2] = {catCold, median(catWarm)};
    const double scanSec[2] = {scanCold, median(scanWarm)};

    std::printf("%-30s %12s %12s\n", "", "cold MB/s", "warm MB/s");
    std::printf("%-30s %12.0f %12.0f\n", "read() 1 MiB chunks", mb / readSec[0], mb / readSec[1]);
    std::printf("%-30s %12.0f %12.0f\n", "cat FILE > /dev/null", mb / catSec[0], mb / catSec[1]);
    std::printf("%-30s %12.0f %12.0f\n", "page scan (ScanPages)", mb / scanSec[0], mb / scanSec[1]);
    std::printf("(warm: median of %d rounds)\n", kWarmRounds);
    std::printf("\nwarm: scan %.3f s, read %.3f s, scan/read speed ratio %.2f (goal >= 0.50)\n", scanSec[1],
                readSec[1], readSec[1] / scanSec[1]);
    std::printf("cold: scan/read speed ratio %.2f\n", readSec[0] / scanSec[0]);
    std::printf("scan: %llu pages, %llu filed in %zu lists\n", static_cast<unsigned long long>(scan.pages),
                static_cast<unsigned long long>(scan.filed), scan.nodes);
    std::printf("peak RSS of the reading process: %ld KiB\n", PeakRssKiB());

    if (!options.keep)
        std::filesystem::remove(path);
    return 0;
}

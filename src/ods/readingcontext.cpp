#include "ods/readingcontext.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <limits>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ods/constants.h"
#include "ods/textcodec.h"

namespace ravelin::ods {
namespace {

std::uint16_t WordAt(PageSource& source, std::uint64_t offset)
{
    std::array<std::byte, 2> b{};
    source.Read(offset, b);
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) | (std::to_integer<unsigned>(b[1]) << 8));
}

// True when another process holds a lock on the open file: a BSD lock, shared
// or exclusive (the database engine holds one on every file it has attached),
// or a POSIX record lock. The BSD probe takes an exclusive lock for an instant
// and drops it at once; a POSIX lock is only asked about, never taken.
// Another reader probing the same file at the same moment holds its lock for
// an instant only, so a refused probe is tried again a few times before the
// file counts as held.
bool LockedByAnotherProcess(int fd)
{
    constexpr int kProbes = 5;
    for (int probe = 1;; ++probe) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::flock(fd, LOCK_UN);
            break;
        }
        if (errno != EWOULDBLOCK)
            break;
        if (probe == kProbes)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;
    return ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int64_t>::max();

// position + distance, held at kMaxPosition instead of overflowing.
std::int64_t Advance(std::int64_t position, std::uint64_t distance)
{
    position = std::max<std::int64_t>(position, 0);
    const auto room = static_cast<std::uint64_t>(kMaxPosition - position);
    return distance >= room ? kMaxPosition : position + static_cast<std::int64_t>(distance);
}

}  // namespace

namespace {

// Sample windows: a file up to kWholeFileLimit bytes is read whole; a
// larger one in kSampleWindows windows of kSampleWindowBytes, spread evenly
// from its start to its end and aligned to the largest page size, so that
// every candidate's pages inside a window start at the same offsets.
constexpr std::uint64_t kWholeFileLimit = 8ull << 20;
constexpr std::uint64_t kSampleWindows = 16;
constexpr std::uint64_t kSampleWindowBytes = 256ull << 10;
constexpr std::uint8_t kHighestPageType = 15;
// Pages with a page header a size needs before the pages can speak for it.
constexpr std::uint64_t kFewestValidPages = 3;

// A page header: a page type byte (0 for a page never used) and the
// checksum word. Text and random bytes practically never show both.
bool HasPageHeader(std::span<const std::byte> head)
{
    const auto type = std::to_integer<std::uint8_t>(head[0]);
    return type <= kHighestPageType &&
           (std::to_integer<unsigned>(head[kChecksumOffset]) | (std::to_integer<unsigned>(head[kChecksumOffset + 1]) << 8)) ==
               kPageChecksum;
}

}  // namespace

std::vector<PageSizeScore> ScorePageSizes(PageSource& source)
{
    const std::uint64_t size = source.Size();
    const std::uint64_t largest = kPageSizeCandidates.back();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> windows;  // [begin, end)
    if (size <= kWholeFileLimit) {
        windows.emplace_back(0, size);
    } else {
        const std::uint64_t span = size - kSampleWindowBytes;
        for (std::uint64_t i = 0; i < kSampleWindows; ++i) {
            const std::uint64_t begin = span / (kSampleWindows - 1) * i / largest * largest;
            windows.emplace_back(begin, std::min(size, begin + kSampleWindowBytes));
        }
    }
    std::vector<PageSizeScore> scores;
    for (const std::uint32_t pageSize : kPageSizeCandidates)
        scores.push_back(PageSizeScore{pageSize, 0, 0});
    // Every candidate's pages start on a multiple of the smallest size, so
    // the page headers are read there, a few bytes each: the windows are
    // never copied whole.
    const std::uint64_t stride = kPageSizeCandidates.front();
    std::array<std::byte, kChecksumOffset + 2> head{};
    for (const auto& [begin, end] : windows) {
        for (std::uint64_t at = (begin + stride - 1) / stride * stride; at < end; at += stride) {
            bool read = false;
            bool valid = false;
            for (PageSizeScore& score : scores) {
                // Page 0 is the header page, counted apart; a page must lie
                // whole in the file.
                if (at == 0 || at % score.pageSize != 0 || size - at < score.pageSize)
                    continue;
                if (!read) {
                    source.Read(at, head);
                    valid = HasPageHeader(head);
                    read = true;
                }
                ++score.sampled;
                if (valid)
                    ++score.valid;
            }
        }
    }
    return scores;
}

std::uint32_t DetectPageSize(PageSource& source)
{
    const std::vector<PageSizeScore> scores = ScorePageSizes(source);
    const auto share = [](const PageSizeScore& score) {
        return score.sampled == 0 ? 0.0 : static_cast<double>(score.valid) / static_cast<double>(score.sampled);
    };
    double best = 0.0;
    for (const PageSizeScore& score : scores) {
        if (score.valid >= kFewestValidPages)
            best = std::max(best, share(score));
    }
    // The smallest size that comes close to the best share: a multiple of the
    // true size scores as high as the true size, a smaller size at most half
    // as high. Where the header page is sound, this is the size it names; a
    // header page naming another size (a larger one, whose pages would all
    // be pages too) is overruled by the pages.
    if (best > 0.0) {
        for (const PageSizeScore& score : scores) {
            if (score.valid >= kFewestValidPages && share(score) >= 0.75 * best)
                return score.pageSize;
        }
    }
    // Too few pages carry a page header to tell: the header page decides
    // where it is sound (type 1, a candidate size that divides the file).
    std::array<std::byte, kHeaderPageSizeOffset + 2> head{};
    source.Read(0, head);
    const std::uint32_t named = WordAt(source, kHeaderPageSizeOffset);
    const std::uint64_t size = source.Size();
    const bool candidate =
        std::find(kPageSizeCandidates.begin(), kPageSizeCandidates.end(), named) != kPageSizeCandidates.end();
    if (std::to_integer<std::uint8_t>(head[0]) == kHeaderPage && candidate && size >= named && size % named == 0)
        return named;
    return 0;
}

std::uint64_t ReadingContext::QueryDatabaseFileSize(const std::string& path, bool& fileInUse)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    std::uint64_t size = 0;
    if (LockedByAnotherProcess(fd)) {
        fileInUse = true;
    } else {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            size = static_cast<std::uint64_t>(st.st_size);
    }
    ::close(fd);
    return size;
}

bool ReadingContext::OpenDatabaseFile(const std::string& path)
{
    return OpenSource(FilePageSource::Open(path));
}

bool ReadingContext::OpenSource(std::unique_ptr<PageSource> source)
{
    Close();
    if (!source)
        return false;
    fileHandle = std::move(source);
    fileSize = fileHandle->Size();
    fileSizeHigh = static_cast<std::uint32_t>(fileSize >> 32);
    fileSizeLow = static_cast<std::uint32_t>(fileSize);
    Seek(0);
    if (!DetectPageSize()) {
        Close();
        return false;
    }
    scanStart = std::uint64_t{kFirstScannedPage} * pageSize;
    return true;
}

void ReadingContext::Close()
{
    fileHandle.reset();
    position = 0;
    lastPosition = 0;
}

bool ReadingContext::DetectPageSize()
{
    const std::uint32_t size = ods::DetectPageSize(*fileHandle);
    if (size == 0)
        return false;
    pageSize = size;
    return true;
}

std::uint16_t ReadingContext::ReadProbeWord(std::uint64_t offset)
{
    Seek(offset);
    return ReadWord();
}

std::int64_t ReadingContext::Seek(std::uint64_t offset)
{
    position = static_cast<std::int64_t>(std::min<std::uint64_t>(offset, kMaxPosition));
    lastPosition = position;
    return position;
}

std::int64_t ReadingContext::SeekBy(std::int16_t distance, int mode)
{
    if (mode == kSeekForward) {
        position = Advance(lastPosition, static_cast<std::uint16_t>(distance));
    } else if (mode == kSeekBackward) {
        const std::int64_t back = distance < 0 ? -static_cast<std::int64_t>(distance) : 0;
        position = lastPosition >= back ? lastPosition - back : 0;
    } else {
        return lastPosition;
    }
    lastPosition = position;
    return position;
}

void ReadingContext::ReadAt(std::uint64_t offset, std::span<std::byte> out) const
{
    if (fileHandle) {
        fileHandle->Read(offset, out);
    } else {
        std::fill(out.begin(), out.end(), std::byte{0});
    }
}

void ReadingContext::ReadBytes(std::span<std::byte> out)
{
    ReadAt(static_cast<std::uint64_t>(lastPosition), out);
    bytesRead = static_cast<std::uint32_t>(out.size());
    position = Advance(lastPosition, out.size());
    lastPosition = position;
}

std::uint8_t ReadingContext::ReadByte()
{
    std::array<std::byte, 1> b{};
    ReadBytes(b);
    return std::to_integer<std::uint8_t>(b[0]);
}

std::uint16_t ReadingContext::ReadWord()
{
    std::array<std::byte, 2> b{};
    ReadBytes(b);
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) | (std::to_integer<unsigned>(b[1]) << 8));
}

std::uint32_t ReadingContext::ReadLong()
{
    std::array<std::byte, 4> b{};
    ReadBytes(b);
    return std::to_integer<std::uint32_t>(b[0]) | (std::to_integer<std::uint32_t>(b[1]) << 8) |
           (std::to_integer<std::uint32_t>(b[2]) << 16) | (std::to_integer<std::uint32_t>(b[3]) << 24);
}

std::string ReadingContext::ReadStoredString(std::uint16_t length, bool skipLengthWord)
{
    if (skipLengthWord) {
        SeekBy(4, kSeekForward);
        length = length >= 4 ? static_cast<std::uint16_t>(length - 4) : 0;
    }
    std::vector<std::byte> buf(length);
    ReadBytes(buf);
    return DecodeText(buf);
}

std::string FormatTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, "%A, %B %d, %Y  %I:%M:%S  %p", &local);
    return std::string(buf, n);
}

}  // namespace ravelin::ods

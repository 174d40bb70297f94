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

std::uint32_t DetectPageSize(PageSource& source)
{
    for (std::uint32_t size : kPageSizeCandidates) {
        const auto probe = [&](std::uint32_t page) {
            return WordAt(source, std::uint64_t{page} * size + kChecksumOffset) == kPageChecksum;
        };
        if (!probe(kProbePages[0]))
            continue;
        // Page 5 matches at this size: pages 6 and 7 must confirm it, and no
        // larger size is tried.
        return probe(kProbePages[1]) && probe(kProbePages[2]) ? size : 0;
    }
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

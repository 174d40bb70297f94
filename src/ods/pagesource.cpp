#include "ods/pagesource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin::ods {

std::unique_ptr<FilePageSource> FilePageSource::Open(const std::string& path, std::string* errorText,
                                                     PreadFunction readFunction)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errorText)
            *errorText = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (errorText)
            *errorText = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        if (errorText)
            *errorText = "not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<FilePageSource>(
        new FilePageSource(fd, static_cast<std::uint64_t>(st.st_size), readFunction ? readFunction : ::pread));
}

FilePageSource::FilePageSource(int fd, std::uint64_t size, PreadFunction readFunction)
    : fd_(fd), size_(size), read_(readFunction)
{
}

FilePageSource::~FilePageSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

const std::vector<std::byte>& FilePageSource::Block(std::uint64_t index)
{
    if (auto it = blocks_.find(index); it != blocks_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.lruPos);
        return it->second.bytes;
    }
    std::vector<std::byte> bytes;
    if (blocks_.size() >= kCachedBlocks) {
        // Reuse the buffer of the least recently used block.
        const std::uint64_t victim = lru_.back();
        lru_.pop_back();
        auto node = blocks_.extract(victim);
        bytes = std::move(node.mapped().bytes);
    }
    // Only the bytes no read filled are set to zero: a reused buffer is not
    // cleared first.
    bytes.resize(kBlockSize);
    const std::uint64_t start = index * kBlockSize;
    const std::size_t filled =
        FillBlock(start, static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size_ - start)), bytes);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(filled), bytes.end(), std::byte{0});
    lru_.push_front(index);
    auto [it, inserted] = blocks_.emplace(index, Entry{std::move(bytes), lru_.begin()});
    (void)inserted;
    return it->second.bytes;
}

std::size_t FilePageSource::FillBlock(std::uint64_t start, std::size_t want, std::vector<std::byte>& bytes)
{
    // One read for the whole block; it normally succeeds at once.
    std::size_t done = 0;
    while (done < want) {
        const ssize_t n = read_(fd_, bytes.data() + done, want - done, static_cast<off_t>(start + done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            return done;  // the file ended early: the rest reads as zero
        if (errno != EINTR)
            break;
    }
    // A failed read: go on unit by unit, so that one bad sector costs only
    // the units it lies in.
    while (done < want) {
        const std::size_t unitEnd = std::min(want, (done / kRetryUnit + 1) * kRetryUnit);
        const ssize_t n = read_(fd_, bytes.data() + done, unitEnd - done, static_cast<off_t>(start + done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return done;
        } else if (errno != EINTR) {
            // A failed read may have left anything in the buffer.
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(done),
                      bytes.begin() + static_cast<std::ptrdiff_t>(unitEnd), std::byte{0});
            done = unitEnd;  // unreadable: this unit stays zero
        }
    }
    return done;
}

void FilePageSource::Read(std::uint64_t offset, std::span<std::byte> out)
{
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        if (at < offset || at >= size_) {  // wrapped or past the end: zeros
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(done), out.end(), std::byte{0});
            return;
        }
        const std::uint64_t index = at / kBlockSize;
        const std::size_t within = static_cast<std::size_t>(at % kBlockSize);
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>({out.size() - done, kBlockSize - within, size_ - at}));
        const auto& block = Block(index);
        std::memcpy(out.data() + done, block.data() + within, take);
        done += take;
    }
}

void MemoryPageSource::Read(std::uint64_t offset, std::span<std::byte> out)
{
    std::fill(out.begin(), out.end(), std::byte{0});
    if (out.empty() || offset >= bytes_.size())
        return;
    const std::size_t avail = static_cast<std::size_t>(bytes_.size() - offset);
    const std::size_t take = std::min(avail, out.size());
    std::memcpy(out.data(), bytes_.data() + offset, take);
}

}  // namespace ravelin::ods

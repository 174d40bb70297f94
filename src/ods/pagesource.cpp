#include "ods/pagesource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ravelin::ods {

std::unique_ptr<FilePageSource> FilePageSource::Open(const std::string& path, std::string* errorText)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errorText)
            *errorText = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (errorText)
            *errorText = S_ISREG(st.st_mode) ? std::strerror(errno) : "not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<FilePageSource>(new FilePageSource(fd, static_cast<std::uint64_t>(st.st_size)));
}

FilePageSource::FilePageSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

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
    bytes.assign(kBlockSize, std::byte{0});
    const std::uint64_t start = index * kBlockSize;
    std::size_t done = 0;
    while (start + done < size_ && done < kBlockSize) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, kBlockSize - done, static_cast<off_t>(start + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // an unreadable stretch stays zero
        done += static_cast<std::size_t>(n);
    }
    lru_.push_front(index);
    auto [it, inserted] = blocks_.emplace(index, Entry{std::move(bytes), lru_.begin()});
    (void)inserted;
    return it->second.bytes;
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
        const std::size_t take = std::min(out.size() - done, kBlockSize - within);
        const auto& block = Block(index);
        std::memcpy(out.data() + done, block.data() + within, take);
        done += take;
    }
}

void MemoryPageSource::Read(std::uint64_t offset, std::span<std::byte> out)
{
    std::fill(out.begin(), out.end(), std::byte{0});
    if (offset >= bytes_.size())
        return;
    const std::size_t avail = static_cast<std::size_t>(bytes_.size() - offset);
    const std::size_t take = std::min(avail, out.size());
    std::memcpy(out.data(), bytes_.data() + offset, take);
}

}  // namespace ravelin::ods

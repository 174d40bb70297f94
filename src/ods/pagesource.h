#pragma once

// Byte sources over the damaged database file. The file is only ever read:
// it is opened read-only and never written.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

namespace ravelin::ods {

// Read-only random access to the bytes of a database file.
// Contract: Read copies out.size() bytes starting at offset; every byte that
// lies beyond the end of the source (or that a failed read could not fetch)
// reads as zero. No call ever touches bytes outside [0, Size()).
class PageSource {
public:
    virtual ~PageSource() = default;
    virtual std::uint64_t Size() const = 0;
    virtual void Read(std::uint64_t offset, std::span<std::byte> out) = 0;
};

// Reads a file with pread in whole aligned blocks and keeps the most recently
// used blocks, so the small reads of the walks cost no system call each and a
// front-to-back page scan reads the file once, sequentially. When a block
// cannot be read in one go (a bad sector), it is read again in 4 KiB units
// and only the units that fail read as zero. The size is the file's size at
// open; bytes the file gains later read as zero.
class FilePageSource final : public PageSource {
public:
    // The positioned read used on the file descriptor; pread unless a test
    // injects faults.
    using PreadFunction = ssize_t (*)(int fd, void* buffer, std::size_t count, off_t offset);

    // Opens path read-only. Returns null when it cannot be opened; errorText
    // then says why (the system's message).
    static std::unique_ptr<FilePageSource> Open(const std::string& path, std::string* errorText = nullptr,
                                                PreadFunction readFunction = nullptr);
    ~FilePageSource() override;

    FilePageSource(const FilePageSource&) = delete;
    FilePageSource& operator=(const FilePageSource&) = delete;

    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::byte> out) override;

    static constexpr std::size_t kBlockSize = 256 * 1024;  // bytes per cached block
    static constexpr std::size_t kCachedBlocks = 16;       // 4 MiB at most
    static constexpr std::size_t kRetryUnit = 4096;        // bytes per read after a failed block read

private:
    FilePageSource(int fd, std::uint64_t size, PreadFunction readFunction);
    const std::vector<std::byte>& Block(std::uint64_t index);
    // Fills bytes[0, want) from the file at start, unreadable units with
    // zeros; yields how many bytes from the start it filled (fewer than want
    // when the file ended early).
    std::size_t FillBlock(std::uint64_t start, std::size_t want, std::vector<std::byte>& bytes);

    int fd_ = -1;
    std::uint64_t size_ = 0;
    PreadFunction read_ = nullptr;
    // LRU cache: most recently used block index at the front.
    std::list<std::uint64_t> lru_;
    struct Entry {
        std::vector<std::byte> bytes;
        std::list<std::uint64_t>::iterator lruPos;
    };
    std::unordered_map<std::uint64_t, Entry> blocks_;
};

// An in-memory source, for tests and fuzzers.
class MemoryPageSource final : public PageSource {
public:
    explicit MemoryPageSource(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void Read(std::uint64_t offset, std::span<std::byte> out) override;

private:
    std::vector<std::byte> bytes_;
};

}  // namespace ravelin::ods

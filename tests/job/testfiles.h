#pragma once

// Files for job and command-line tests: a scratch folder, small database
// images whose page size the reader detects, and a lock held by another
// process the way a running database server holds its files.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ravelin::testing {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ravelin-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// pages pages of pageSize zero bytes, with the checksum word 12345 on every
// page in checksumPages (little-endian, at offset 2).
inline std::string DatabaseImage(std::uint32_t pageSize, std::uint32_t pages, std::initializer_list<std::uint32_t> checksumPages = {5, 6, 7})
{
    std::string bytes(std::size_t{pageSize} * pages, '\0');
    for (std::uint32_t page : checksumPages) {
        const std::size_t at = std::size_t{page} * pageSize + 2;
        bytes[at] = static_cast<char>(12345 & 0xFF);
        bytes[at + 1] = static_cast<char>(12345 >> 8);
    }
    return bytes;
}

// Another process holding an exclusive BSD lock on a file for the lifetime
// of this object.
class LockHolder {
public:
    explicit LockHolder(const std::string& path)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            throw std::runtime_error("pipe failed");
        child_ = ::fork();
        if (child_ < 0)
            throw std::runtime_error("fork failed");
        if (child_ == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDONLY);
            char status = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'L' : 'F';
            if (::write(ready[1], &status, 1) != 1)
                ::_exit(2);
            char ignored;
            while (::read(release[0], &ignored, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd_ = release[1];
        char status = 0;
        const bool told = ::read(ready[0], &status, 1) == 1;
        ::close(ready[0]);
        if (!told || status != 'L') {
            Release();
            throw std::runtime_error("the child could not lock " + path);
        }
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    void Release()
    {
        if (releaseFd_ >= 0) {
            ::close(releaseFd_);
            releaseFd_ = -1;
        }
        if (child_ > 0) {
            int status = 0;
            ::waitpid(child_, &status, 0);
            child_ = -1;
        }
    }

    pid_t child_ = -1;
    int releaseFd_ = -1;
};

}  // namespace ravelin::testing

#pragma once

// The reading context: the open damaged file, its size and page size, and the
// positioned reads every reader uses. Only the recovery worker thread uses it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ods/pagesource.h"

namespace ravelin::ods {

// Modes of SeekBy.
inline constexpr int kSeekForward = 7;   // move forward by the distance taken as unsigned
inline constexpr int kSeekBackward = 8;  // move back by the magnitude of a negative distance

class ReadingContext {
public:
    // Open source on the database file; null when no file is open.
    std::unique_ptr<PageSource> fileHandle;
    // The position of the most recent seek (bytes from the file start).
    std::int64_t position = 0;
    std::uint32_t fileSizeHigh = 0;
    std::uint32_t fileSizeLow = 0;
    // Detected page size in bytes; 0 until a detection succeeds, kept across jobs.
    std::uint32_t pageSize = 0;
    std::uint32_t bytesRead = 0;
    std::uint64_t fileSize = 0;
    std::int64_t lastPosition = 0;
    // Offset at which the page scan begins (80 pages in).
    std::uint64_t scanStart = 0;

    // Size of the file at path in bytes. Sets fileInUse and yields 0 when
    // another process holds a lock on the file (a running server does). A
    // file that cannot be opened at all yields 0 too, without fileInUse. The
    // file is opened read-only and closed again; the open source and its
    // size fields are left as they are (OpenDatabaseFile sets those).
    std::uint64_t QueryDatabaseFileSize(const std::string& path, bool& fileInUse);

    // Opens path read-only, stores its size and detects the page size.
    // Yields false (and leaves no file open) when the file cannot be opened
    // or no page size is confirmed by pages 5, 6 and 7.
    bool OpenDatabaseFile(const std::string& path);
    // The same over an already open source (tests, fuzzers).
    bool OpenSource(std::unique_ptr<PageSource> source);
    void Close();

    // Seeks to the absolute offset and reads a 16-bit little-endian word.
    std::uint16_t ReadProbeWord(std::uint64_t offset);

    // Absolute seek; yields the new position. Positions are held at most at
    // INT64_MAX (where every byte reads as zero) rather than overflowing.
    std::int64_t Seek(std::uint64_t offset);
    // Relative seek: mode 7 forward by distance as unsigned, mode 8 backward by
    // the magnitude of a negative distance, other modes do not move. Yields the
    // resulting position; never moves before offset 0.
    std::int64_t SeekBy(std::int16_t distance, int mode);

    // Reads at the current position and advances it. Bytes beyond the end of
    // the file read as zero.
    std::uint8_t ReadByte();
    std::uint16_t ReadWord();
    std::uint32_t ReadLong();
    void ReadBytes(std::span<std::byte> out);
    // Reads bytes at an absolute offset without moving the position.
    void ReadAt(std::uint64_t offset, std::span<std::byte> out) const;

    // Reads length bytes (after skipping 4 when skipLengthWord is set, which
    // also shortens the length by 4) as text in the configured code page; the
    // text ends at the first zero byte.
    std::string ReadStoredString(std::uint16_t length, bool skipLengthWord);

    // Number of whole pages in the file (0 while no page size is known).
    std::uint64_t PageCount() const { return pageSize ? fileSize / pageSize : 0; }

private:
    bool DetectPageSize();
};

// Detects the page size of the bytes in source, one of 1024, 2048, 4096,
// 8192 and 16384, from the pages themselves: a page starts with a page
// header (a type byte, 0 to 15, and 12345 in the checksum word), and
// at the true size nearly every page does. For each size the share of
// pages with a page header is measured over sample windows spread across
// the file (the whole file when it is small); a size a whole multiple of
// the true one scores as high, a smaller one at most half as high, so the
// smallest size whose share comes close to the best one wins. The header
// page's size (type 1, the size at offset 16) decides where the pages
// leave it open: it must be a candidate that divides the file and none of
// the pages may speak against it. No page is special: any damaged page
// costs only its own vote. Yields 0 when fewer than 3 pages carry a page
// header at any size and the header page names no size (not a database).
std::uint32_t DetectPageSize(PageSource& source);

// What the detection measured for one candidate size: pages sampled and
// pages with a page header among them.
struct PageSizeScore {
    std::uint32_t pageSize = 0;
    std::uint64_t sampled = 0;
    std::uint64_t valid = 0;
};
std::vector<PageSizeScore> ScorePageSizes(PageSource& source);

// The current local time as "Thursday, December 10, 2026  04:29:58  AM".
std::string FormatTimeStamp();

}  // namespace ravelin::ods

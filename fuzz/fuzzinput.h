#pragma once

// What the fuzz targets share: page sources that read the fuzzer's bytes in
// place, the fixed front section of the catalogue-depth targets (built once
// per page size and file generation), and frames that take every worker
// message.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "job/frame.h"
#include "ods/constants.h"
#include "ods/pagesource.h"

namespace ravelin::fuzz {

class NullFrame final : public job::Frame {
public:
    std::intptr_t Send(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
};

// A worker link that is never stopped.
struct QuietLink {
    NullFrame frame;
    std::atomic<bool> stopRequested{false};
    std::string currentLogLine;
    job::WorkerLink link{frame, stopRequested, currentLogLine};
};

// A file made of two borrowed byte ranges one after the other: a front
// section (may be empty) and the fuzzer's input. Nothing is copied; the
// ranges must outlive the source. Bytes past both read as zero.
class SplicedPageSource final : public ods::PageSource {
public:
    SplicedPageSource(std::span<const std::byte> front, std::span<const std::byte> rest) : front_(front), rest_(rest) {}
    std::uint64_t Size() const override { return front_.size() + rest_.size(); }
    void Read(std::uint64_t offset, std::span<std::byte> out) override
    {
        std::size_t done = 0;
        while (done < out.size()) {
            const std::uint64_t at = offset + done;
            std::span<const std::byte> from;
            std::uint64_t within = 0;
            if (at < front_.size()) {
                from = front_;
                within = at;
            } else if (at - front_.size() < rest_.size()) {
                from = rest_;
                within = at - front_.size();
            } else {
                std::memset(out.data() + done, 0, out.size() - done);
                return;
            }
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(from.size() - within, out.size() - done));
            std::memcpy(out.data() + done, from.data() + within, count);
            done += count;
        }
    }

private:
    std::span<const std::byte> front_;
    std::span<const std::byte> rest_;
};

inline std::vector<std::byte> Copy(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = std::as_bytes(std::span<const std::uint8_t>(data, size));
    return std::vector<std::byte>(bytes.begin(), bytes.end());
}

inline std::span<const std::byte> InputBytes(const std::uint8_t* data, std::size_t size)
{
    return std::as_bytes(std::span<const std::uint8_t>(data, size));
}

// The input of the catalogue-depth targets (catalogue, extraction): a
// selector byte, then the file's pages from page 80 on, the first page the
// catalogue is looked for on. The selector picks the page size (1024 <<
// (byte % 5)) and the file generation (ODS 13, 15 or 16, by byte / 5 % 3).
// The target puts the fixed front section before the pages.
struct PagesInput {
    std::uint32_t pageSize = 0;
    std::uint16_t odsVersion = 0;
    std::span<const std::byte> pages;
};

inline constexpr std::uint16_t kOdsVersions[] = {13, 15, 16};

inline std::optional<PagesInput> DecodePagesInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return std::nullopt;
    PagesInput input;
    input.pageSize = 1024u << (data[0] % 5);
    input.odsVersion = kOdsVersions[data[0] / 5 % 3];
    input.pages = InputBytes(data + 1, size - 1);
    return input;
}

// The selector byte of a page size and file generation.
inline std::uint8_t PagesInputSelector(std::uint32_t pageSize, std::uint16_t odsVersion)
{
    std::uint8_t sizeIndex = 0;
    while (sizeIndex < 4 && (1024u << sizeIndex) != pageSize)
        ++sizeIndex;
    std::uint8_t odsIndex = 0;
    while (odsIndex < 2 && kOdsVersions[odsIndex] != odsVersion)
        ++odsIndex;
    return static_cast<std::uint8_t>(sizeIndex + 5 * odsIndex);
}

// The newest transaction the front section's header page names: one
// inventory page (type 3) among the fuzzed pages holds every state.
inline constexpr std::uint32_t kFrontNewestTransaction = 200;

// Pages 0 to 79 of a file of this page size and generation: a header page
// (page size, ODS version, newest transaction), then pages that carry a page
// header of a type the scan does not file, so the page size is this one
// whatever the fuzzed pages hold. Built once per size and generation.
inline std::span<const std::byte> FrontPages(std::uint32_t pageSize, std::uint16_t odsVersion)
{
    static std::vector<std::byte> fronts[5][3];
    std::uint8_t selector = PagesInputSelector(pageSize, odsVersion);
    std::vector<std::byte>& front = fronts[selector % 5][selector / 5];
    if (!front.empty())
        return front;
    front.assign(std::size_t{ods::kFirstScannedPage} * pageSize, std::byte{0});
    const auto put16 = [&](std::size_t at, std::uint16_t value) {
        front[at] = std::byte{static_cast<std::uint8_t>(value & 0xFF)};
        front[at + 1] = std::byte{static_cast<std::uint8_t>(value >> 8)};
    };
    constexpr std::uint8_t kIndexPage = 7;
    for (std::uint32_t page = 0; page < ods::kFirstScannedPage; ++page) {
        const std::size_t at = std::size_t{page} * pageSize;
        front[at] = std::byte{page == 0 ? ods::kHeaderPage : kIndexPage};
        put16(at + ods::kChecksumOffset, ods::kPageChecksum);
    }
    put16(ods::kHeaderPageSizeOffset, static_cast<std::uint16_t>(pageSize));
    put16(ods::kHeaderOdsVersionOffset, odsVersion);
    const std::size_t newestAt = odsVersion == ods::kOdsVersion16 ? ods::kHeaderNewestTransactionOffsetOds16
                                                                  : ods::kHeaderNewestTransactionOffset;
    put16(newestAt, kFrontNewestTransaction);
    return front;
}

// The whole file of a catalogue-depth input: the front section, then the
// input's pages in place.
inline std::unique_ptr<ods::PageSource> PagesInputSource(const PagesInput& input)
{
    return std::make_unique<SplicedPageSource>(FrontPages(input.pageSize, input.odsVersion), input.pages);
}

}  // namespace ravelin::fuzz

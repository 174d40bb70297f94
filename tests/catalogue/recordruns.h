#pragma once

// Builders for the compressed runs of catalogue records and for data pages
// holding them, as the tests of the catalogue readers need them.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "ods/constants.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue::testing {

// Compressed runs: a literal run is its length then its bytes; a repeat run
// is 256 - count then the byte.
class Runs {
public:
    Runs& Literal(std::initializer_list<int> bytes)
    {
        bytes_.push_back(static_cast<std::byte>(bytes.size()));
        for (int b : bytes)
            bytes_.push_back(static_cast<std::byte>(b));
        return *this;
    }
    Runs& Literal(std::string_view text) { return Literal({}, text); }
    // prefix bytes and text in one literal run (null flags before a name).
    Runs& Literal(std::initializer_list<int> prefix, std::string_view text)
    {
        bytes_.push_back(static_cast<std::byte>(prefix.size() + text.size()));
        for (int b : prefix)
            bytes_.push_back(static_cast<std::byte>(b));
        for (char c : text)
            bytes_.push_back(static_cast<std::byte>(c));
        return *this;
    }
    // count copies of byte, as repeat runs of at most 128; a tail of one or
    // two copies becomes a literal run, as the database writes it.
    Runs& Repeat(unsigned count, int byte)
    {
        while (count >= 3) {
            const unsigned run = count > 128 ? 128 : count;
            bytes_.push_back(static_cast<std::byte>(256 - run));
            bytes_.push_back(static_cast<std::byte>(byte));
            count -= run;
        }
        if (count > 0) {
            bytes_.push_back(static_cast<std::byte>(count));
            for (unsigned i = 0; i < count; ++i)
                bytes_.push_back(static_cast<std::byte>(byte));
        }
        return *this;
    }
    Runs& Raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes)
            bytes_.push_back(static_cast<std::byte>(b));
        return *this;
    }
    Runs& Append(const Runs& other)
    {
        bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
        return *this;
    }

    const std::vector<std::byte>& bytes() const { return bytes_; }
    ods::RecordStream Stream() const { return ods::RecordStream(bytes_); }

private:
    std::vector<std::byte> bytes_;
};

inline void PutWord(std::vector<std::byte>& out, std::size_t at, std::uint32_t value)
{
    out[at] = static_cast<std::byte>(value & 0xFF);
    out[at + 1] = static_cast<std::byte>((value >> 8) & 0xFF);
}

inline void PutLong(std::vector<std::byte>& out, std::size_t at, std::uint32_t value)
{
    PutWord(out, at, value & 0xFFFF);
    PutWord(out, at + 2, value >> 16);
}

// A whole record: the 13-byte header of a plain record, or the 22-byte header
// of a first fragment when forwardPage is given, followed by runs.
inline std::vector<std::byte> Record(std::uint32_t transaction, std::uint8_t flags, const Runs& runs,
                                     std::uint8_t format = 0, std::uint32_t forwardPage = 0,
                                     std::uint16_t forwardLine = 0)
{
    const bool fragment = (flags & ods::kFlagFirstFragment) != 0;
    std::vector<std::byte> out(fragment ? ods::kFlaggedRecordDataOffset : ods::kRecordDataOffset);
    PutLong(out, ods::kRecordTransactionOffset, transaction);
    out[ods::kRecordFlagsOffset] = static_cast<std::byte>(flags);
    out[ods::kRecordFormatOffset] = static_cast<std::byte>(format);
    if (fragment) {
        PutLong(out, ods::kRecordForwardPageOffset, forwardPage);
        PutWord(out, ods::kRecordForwardLineOffset, forwardLine);
    }
    out.insert(out.end(), runs.bytes().begin(), runs.bytes().end());
    return out;
}

// A data page of pageSize bytes for relationId holding records, stored from
// the page end downwards like the database does.
inline std::vector<std::byte> DataPage(std::uint32_t pageSize, std::uint16_t relationId,
                                       const std::vector<std::vector<std::byte>>& records)
{
    std::vector<std::byte> page(pageSize);
    page[0] = static_cast<std::byte>(ods::kDataPage);
    PutWord(page, ods::kChecksumOffset, ods::kPageChecksum);
    PutWord(page, ods::kDataPageRelationOffset, relationId);
    PutWord(page, ods::kDataPageSlotCountOffset, static_cast<std::uint32_t>(records.size()));
    std::size_t end = pageSize;
    for (std::size_t i = 0; i < records.size(); ++i) {
        end -= (records[i].size() + 3) & ~std::size_t{3};
        std::copy(records[i].begin(), records[i].end(), page.begin() + static_cast<std::ptrdiff_t>(end));
        const std::size_t slot = ods::kDataPageSlotArrayOffset + i * ods::kSlotSize;
        PutWord(page, slot, static_cast<std::uint32_t>(end));
        PutWord(page, slot + 2, static_cast<std::uint32_t>(records[i].size()));
    }
    return page;
}

}  // namespace ravelin::catalogue::testing

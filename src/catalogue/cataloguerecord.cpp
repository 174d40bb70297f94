#include "catalogue/cataloguerecord.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>
#include <vector>

#include "ods/constants.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {

namespace {

// Links of a fragment chain followed at most; real records need one.
constexpr int kMaxContinuations = 8;

std::uint8_t ByteAt(std::span<const std::byte> bytes, std::size_t offset)
{
    return offset < bytes.size() ? std::to_integer<std::uint8_t>(bytes[offset]) : 0;
}

std::uint16_t WordAt(std::span<const std::byte> bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(ByteAt(bytes, offset) | (ByteAt(bytes, offset + 1) << 8));
}

std::uint32_t LongAt(std::span<const std::byte> bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(WordAt(bytes, offset)) |
           (static_cast<std::uint32_t>(WordAt(bytes, offset + 2)) << 16);
}

std::span<const std::byte> Tail(std::span<const std::byte> bytes, std::size_t offset)
{
    return offset < bytes.size() ? bytes.subspan(offset) : std::span<const std::byte>();
}

bool IsLiteralRun(std::uint8_t control) { return control >= 1 && control <= 127; }

// Appends the runs of a continuation to the runs gathered so far. The
// fragment before it may end in zero padding, which is dropped; when it ends
// in a literal run and the continuation starts with one, the two become one
// run again (a name cut by the fragment boundary reads as one name).
void AppendRuns(std::vector<std::byte>& data, std::span<const std::byte> more)
{
    std::size_t i = 0;
    std::size_t lastLiteral = data.size();  // start of the last run when it is a whole literal run
    bool wholeRuns = true;
    while (i < data.size()) {
        const std::uint8_t control = std::to_integer<std::uint8_t>(data[i]);
        if (control == 0) {
            const bool paddingToEnd = std::all_of(data.begin() + static_cast<std::ptrdiff_t>(i), data.end(),
                                                  [](std::byte b) { return b == std::byte{0}; });
            if (paddingToEnd) {
                data.resize(i);
                break;
            }
            lastLiteral = data.size();
            ++i;
            continue;
        }
        const std::size_t runBytes = IsLiteralRun(control) ? 1u + control : 2u;
        if (runBytes > data.size() - i) {  // a run cut short: keep the bytes as they are
            wholeRuns = false;
            break;
        }
        lastLiteral = IsLiteralRun(control) ? i : data.size();
        i += runBytes;
    }
    const std::uint8_t next = ByteAt(more, 0);
    if (wholeRuns && lastLiteral < data.size() && IsLiteralRun(next)) {
        const unsigned joined = std::to_integer<unsigned>(data[lastLiteral]) + next;
        if (joined <= 127) {
            data[lastLiteral] = static_cast<std::byte>(joined);
            data.insert(data.end(), more.begin() + 1, more.end());
            return;
        }
    }
    data.insert(data.end(), more.begin(), more.end());
}

// The record bytes named by (page, line) when they are a fragment of the
// same relation: a data page of that relation, a slot inside the page, a
// record with the continuation flag.
std::optional<std::vector<std::byte>> ReadContinuation(const ods::ReadingContext& context, std::uint32_t page,
                                                       std::uint16_t line, std::uint32_t relationId)
{
    const std::uint64_t pageSize = context.pageSize;
    if (pageSize < ods::kDataPageSlotArrayOffset || context.fileSize < pageSize)
        return std::nullopt;
    if (page >= context.fileSize / pageSize)
        return std::nullopt;
    const std::uint64_t pageStart = static_cast<std::uint64_t>(page) * pageSize;

    std::array<std::byte, ods::kDataPageSlotArrayOffset> header{};
    context.ReadAt(pageStart, header);
    if (ByteAt(header, 0) != ods::kDataPage || WordAt(header, ods::kDataPageRelationOffset) != relationId)
        return std::nullopt;
    const std::uint16_t slotCount = WordAt(header, ods::kDataPageSlotCountOffset);
    if (line >= slotCount)
        return std::nullopt;
    const std::uint64_t slotOffset = ods::kDataPageSlotArrayOffset + static_cast<std::uint64_t>(line) * ods::kSlotSize;
    if (slotOffset >= pageSize || ods::kSlotSize > pageSize - slotOffset)
        return std::nullopt;

    std::array<std::byte, ods::kSlotSize> slot{};
    context.ReadAt(pageStart + slotOffset, slot);
    const std::uint16_t recordOffset = WordAt(slot, 0);
    const std::uint16_t recordLength = WordAt(slot, 2);
    if (recordOffset == 0 || recordOffset >= pageSize || recordLength > pageSize - recordOffset ||
        recordLength < ods::kContinuationDataOffset)
        return std::nullopt;

    std::vector<std::byte> bytes(recordLength);
    context.ReadAt(pageStart + recordOffset, bytes);
    if ((ByteAt(bytes, ods::kRecordFlagsOffset) & ods::kFlagContinuation) == 0)
        return std::nullopt;
    return bytes;
}

constexpr std::uint8_t kSkippedFlags =
    ods::kFlagDeleted | ods::kFlagOldVersion | ods::kFlagContinuation | ods::kFlagBlobRecord;

std::optional<CatalogueRecord> Open(const ods::ReadingContext* context, ods::RecordStream& record,
                                    std::uint32_t relationId)
{
    const std::span<const std::byte> bytes = record.bytes();
    CatalogueRecord result{LongAt(bytes, ods::kRecordTransactionOffset), ByteAt(bytes, ods::kRecordFlagsOffset),
                           ByteAt(bytes, ods::kRecordFormatOffset), ods::RecordStream(std::vector<std::byte>{})};
    if (result.transaction == 0 || (result.flags & kSkippedFlags) != 0)
        return std::nullopt;

    if ((result.flags & ods::kFlagFirstFragment) == 0) {
        const auto runs = Tail(bytes, ods::kRecordDataOffset);
        result.data = ods::RecordStream(std::vector<std::byte>(runs.begin(), runs.end()));
        return result;
    }

    const auto first = Tail(bytes, ods::kFlaggedRecordDataOffset);
    std::vector<std::byte> data(first.begin(), first.end());
    if (context) {
        std::vector<std::byte> link(bytes.begin(), bytes.end());
        std::vector<std::pair<std::uint32_t, std::uint16_t>> visited;
        for (int hop = 0; hop < kMaxContinuations; ++hop) {
            const std::uint32_t page = LongAt(link, ods::kRecordForwardPageOffset);
            const std::uint16_t line = WordAt(link, ods::kRecordForwardLineOffset);
            if (std::find(visited.begin(), visited.end(), std::pair(page, line)) != visited.end())
                break;
            visited.emplace_back(page, line);
            auto next = ReadContinuation(*context, page, line, relationId);
            if (!next)
                break;
            const bool continues = (ByteAt(*next, ods::kRecordFlagsOffset) & ods::kFlagFirstFragment) != 0;
            AppendRuns(data, Tail(*next, continues ? ods::kFlaggedRecordDataOffset : ods::kContinuationDataOffset));
            if (!continues)
                break;
            link = std::move(*next);
        }
    }
    result.data = ods::RecordStream(std::move(data));
    return result;
}

}  // namespace

std::optional<CatalogueRecord> OpenCatalogueRecord(const ods::ReadingContext& context, ods::RecordStream& record,
                                                   std::uint32_t relationId)
{
    return Open(&context, record, relationId);
}

std::optional<CatalogueRecord> OpenCatalogueRecord(ods::RecordStream& record)
{
    return Open(nullptr, record, 0);
}

bool PassFiller(ods::RecordStream& data)
{
    const std::uint8_t control = data.ReadControl();
    const std::uint8_t value = data.ReadByte();
    return IsRepeatRun(control) && (value == 0 || value == ' ');
}

void ContinueRunName(ods::RecordStream& data, std::string& name, unsigned& stored)
{
    while (stored < ods::kNameFieldWidth && data.remainingLength() >= 2) {
        const std::size_t at = data.offset();
        const std::uint8_t control = data.ReadByte();
        const std::uint8_t value = data.ReadByte();
        if (!IsRepeatRun(control) || value == 0 || value == ' ' ||
            stored + RepeatCount(control) > ods::kNameFieldWidth) {
            data.SeekTo(at);
            return;
        }
        name += ods::RepeatText(RepeatCount(control), value);
        stored += RepeatCount(control);

        const std::size_t literalAt = data.offset();
        if (stored >= ods::kNameFieldWidth || data.remainingLength() < 2)
            return;
        const std::uint8_t literal = data.ReadByte();
        if (!IsLiteralRun(literal) || stored + literal > ods::kNameFieldWidth) {
            data.SeekTo(literalAt);
            return;
        }
        name += data.ReadStoredString(literal);
        stored += literal;
    }
}

std::string ReadRunName(ods::RecordStream& data, std::uint8_t length, unsigned* storedLength)
{
    std::string name = data.ReadStoredString(length);
    unsigned stored = length;
    ContinueRunName(data, name, stored);
    if (storedLength)
        *storedLength = stored;
    return name;
}

std::optional<std::uint32_t> ReadDecompressed(ods::RecordStream& data, unsigned count)
{
    count = std::min(count, 4u);
    std::uint32_t value = 0;
    unsigned got = 0;
    while (got < count) {
        if (data.remainingLength() < 2)
            return std::nullopt;
        const std::uint8_t control = data.ReadByte();
        if (control == 0)
            continue;
        if (IsRepeatRun(control)) {
            const std::uint32_t byte = data.ReadByte();
            for (unsigned n = RepeatCount(control); n > 0 && got < count; --n, ++got)
                value |= byte << (8 * got);
            continue;
        }
        for (unsigned n = control; n > 0 && got < count; --n, ++got) {
            if (data.remainingLength() < 1)
                return std::nullopt;
            value |= static_cast<std::uint32_t>(data.ReadByte()) << (8 * got);
        }
    }
    return value;
}

std::optional<std::span<const std::byte>> ExpandFixedRecord(const ods::RecordStream& record, ods::RecordImage& image,
                                                            std::size_t length)
{
    const std::span<const std::byte> stored = record.bytes();
    if (stored.size() <= ods::kRecordDataOffset)
        return std::nullopt;
    if (std::to_integer<std::uint8_t>(stored[ods::kRecordFlagsOffset]) != ods::kFlagPlain ||
        (std::to_integer<std::uint8_t>(stored[ods::kRecordFlags2Offset]) & ods::kFlag2ChangeMask) != 0)
        return std::nullopt;
    image.Expand(stored.subspan(ods::kRecordDataOffset), length);
    if (image.size() != length)
        return std::nullopt;
    return image.bytes();
}

}  // namespace ravelin::catalogue

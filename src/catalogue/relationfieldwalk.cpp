#include "catalogue/relationfieldwalk.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <set>
#include <utility>

#include "catalogue/schemamodel.h"
#include "ods/constants.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {
namespace {

// A continuation chain longer than this is taken as damage.
constexpr int kMaxContinuationFragments = 8;

// Header byte 10 of a fragment that continues a record.
constexpr std::uint8_t kFlagContinuedAgain = ods::kFlagContinuation | ods::kFlagFirstFragment;

// One 67-byte name field without its padding (trailing blanks and zeros).
std::string ReadNameField(RunCursor& cursor, std::size_t fieldOffset)
{
    std::string raw;
    if (cursor.SkipTo(fieldOffset))
        cursor.Read(ods::kNameFieldWidth, raw);
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0'))
        raw.pop_back();
    return ods::DecodeText(raw);
}

// The blob id at offset names a blob of relation 5 (the relation-fields
// catalogue keeps its defaults' blobs itself).
bool IsRelationFieldsBlob(RunCursor& cursor, std::size_t offset)
{
    const auto relation = cursor.ValueAt(offset, 2);
    return relation && *relation == ods::kRelRelationFields;
}

// The record number of the default's source text, when the record names one
// that fits the 16-bit index of the default texts.
std::optional<std::uint16_t> DefaultReference(RunCursor& cursor)
{
    if (!IsRelationFieldsBlob(cursor, ods::kRfDefaultSourceOffset))
        return std::nullopt;
    const auto number = cursor.ValueAt(ods::kRfDefaultSourceOffset + ods::kBlobRecordNumberOffset, 4);
    if (!number || *number > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(*number);
}

std::int32_t PositionAt(RunCursor& cursor)
{
    const auto position = cursor.ValueAt(ods::kRfFieldPositionOffset, 2);
    return position ? static_cast<std::int32_t>(*position) + 1 : 0;
}

}  // namespace

RelationFieldShape ClassifyRelationFieldRecord(std::uint8_t c1, std::uint8_t b1)
{
    if (c1 == 0)
        return RelationFieldShape::Unreadable;
    if (b1 == ods::kViewColumnNullFlags)
        return RelationFieldShape::ViewColumn;
    if (c1 >= ods::kLongNameRun)
        return RelationFieldShape::A;
    if (c1 == ods::kRfNullFlagsLength)
        return RelationFieldShape::B;
    return RelationFieldShape::D;
}

RunCursor::RunCursor(ods::RecordStream& record) : current_(&record) {}

void RunCursor::Append(ods::RecordStream continuation)
{
    continuations_.push_back(std::move(continuation));
}

bool RunCursor::Fill()
{
    while (runLeft_ == 0) {
        if (ended_)
            return false;
        // A control byte needs a byte after it; a stream with 1 byte or less
        // left, or a control byte 0, ends this fragment's runs.
        std::uint8_t control = 0;
        if (current_->CanReadControl())
            control = current_->ReadControl();
        if (control == 0) {
            if (nextContinuation_ >= continuations_.size()) {
                ended_ = true;
                return false;
            }
            current_ = &continuations_[nextContinuation_++];
            continue;
        }
        if (control >= 128) {
            repeatRun_ = true;
            repeatByte_ = current_->ReadByte();
            runLeft_ = 256U - control;
        } else {
            // A literal run cut by the end of the record holds only the bytes
            // that are there.
            repeatRun_ = false;
            runLeft_ = std::min<unsigned>(control, current_->remainingLength());
        }
    }
    return true;
}

bool RunCursor::SkipTo(std::size_t target)
{
    while (offset_ < target) {
        if (!Fill())
            return false;
        const auto step = static_cast<unsigned>(std::min<std::size_t>(runLeft_, target - offset_));
        if (!repeatRun_)
            current_->SeekBy(static_cast<int>(step));
        runLeft_ -= step;
        offset_ += step;
    }
    return true;
}

std::size_t RunCursor::Read(std::size_t count, std::string& out)
{
    std::size_t done = 0;
    while (done < count && Fill()) {
        const auto step = static_cast<unsigned>(std::min<std::size_t>(runLeft_, count - done));
        for (unsigned i = 0; i < step; ++i)
            out.push_back(static_cast<char>(repeatRun_ ? repeatByte_ : current_->ReadByte()));
        runLeft_ -= step;
        offset_ += step;
        done += step;
    }
    return done;
}

std::optional<std::uint32_t> RunCursor::ValueAt(std::size_t target, unsigned width)
{
    if (width == 0 || width > 4 || target < offset_ || !SkipTo(target))
        return std::nullopt;
    std::string bytes;
    if (Read(width, bytes) != width)
        return std::nullopt;
    std::uint32_t value = 0;
    for (unsigned i = width; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

std::size_t DecompressedLength(const ods::RecordStream& record)
{
    ods::RecordStream copy = record;
    std::size_t length = 0;
    while (copy.CanReadControl()) {
        const std::uint8_t control = copy.ReadControl();
        if (control == 0)
            break;
        if (control >= 128) {
            copy.SeekBy(1);
            length += 256U - control;
        } else {
            const unsigned take = std::min<unsigned>(control, copy.remainingLength());
            copy.SeekBy(static_cast<int>(take));
            length += take;
        }
    }
    return length;
}

bool WalkContinuationFragment(RunCursor& cursor, std::size_t firstLength, std::uint32_t page, std::uint16_t line,
                              const ContinuationLookup& lookup)
{
    if (!lookup)
        return false;
    std::set<std::pair<std::uint32_t, std::uint16_t>> visited;
    std::vector<ods::RecordStream> chain;
    std::size_t length = firstLength;
    for (int hop = 0; hop < kMaxContinuationFragments; ++hop) {
        if (!visited.insert({page, line}).second)
            break;
        std::optional<ods::RecordStream> fragment = lookup(page, line);
        if (!fragment)
            break;
        ods::RecordStream& record = *fragment;
        // Only the flags are tested: continuation fragments carry transaction
        // 0 in some files and their first fragment's transaction in others.
        record.ReadRecordHeader(ods::HeaderVariant::RelationFields);
        const std::uint8_t flags = record.header().flags;
        bool continuedAgain = false;
        if (flags == ods::kFlagContinuation && record.size() >= ods::kRecordDataOffset) {
            record.SeekTo(ods::kRecordDataOffset);
        } else if (flags == kFlagContinuedAgain && record.size() >= ods::kFlaggedRecordDataOffset) {
            record.SeekTo(ods::kRecordForwardPageOffset);
            page = record.ReadLong();
            line = record.ReadWord();
            continuedAgain = true;
        } else {
            break;
        }
        length += DecompressedLength(record);
        chain.push_back(std::move(record));
        if (!continuedAgain)
            break;
    }
    if (chain.empty() || (length != ods::kRfRecordLength && length != ods::kRfRecordLengthOds16))
        return false;
    for (ods::RecordStream& fragment : chain)
        cursor.Append(std::move(fragment));
    return true;
}

void ReadColumnNames(RunCursor& cursor, RelationFieldValues& values)
{
    values.columnName = ods::SpacesToUnderscores(ReadNameField(cursor, ods::kRfFieldNameOffset));
    values.relationName = ods::SpacesToUnderscores(ReadNameField(cursor, ods::kRfRelationNameOffset));
    values.fieldSource = ReadNameField(cursor, ods::kRfFieldSourceOffset);
}

void WalkColumnTail(RunCursor& cursor, RelationFieldValues& values)
{
    values.position = PositionAt(cursor);
    if (const auto fieldId = cursor.ValueAt(ods::kRfFieldIdOffset, 2))
        values.fieldId = static_cast<std::int32_t>(*fieldId);
    values.hasDefault = IsRelationFieldsBlob(cursor, ods::kRfDefaultValueOffset) ? 1 : 0;
    if (const auto nullFlag = cursor.ValueAt(ods::kRfNullFlagOffset, 2))
        values.notNull = *nullFlag != 0 ? 1 : 0;
    values.defaultIndex = DefaultReference(cursor);
}

void ReadViewColumnRecord(RunCursor& cursor, RelationFieldValues& values)
{
    ReadColumnNames(cursor, values);
    values.baseField = ods::SpacesToUnderscores(ReadNameField(cursor, ods::kRfBaseFieldOffset));
}

void WalkViewColumnTail(RunCursor& cursor, RelationFieldValues& values)
{
    values.position = PositionAt(cursor);
    if (const auto fieldId = cursor.ValueAt(ods::kRfFieldIdOffset, 2))
        values.fieldId = static_cast<std::int32_t>(*fieldId);
    values.defaultIndex = DefaultReference(cursor);
}

RelationFieldValues WalkRelationFieldRecord(ods::RecordStream& record, bool firstFragment,
                                            const ContinuationLookup& lookup)
{
    RelationFieldValues values;
    values.firstFragment = firstFragment;
    const std::size_t dataStart = record.offset();
    if (!record.CanReadControl())
        return values;
    const std::uint8_t c1 = record.ReadByte();
    const std::uint8_t b1 = record.ReadByte();
    record.SeekTo(dataStart);
    values.shape = ClassifyRelationFieldRecord(c1, b1);
    if (values.shape == RelationFieldShape::Unreadable)
        return values;

    RunCursor cursor(record);
    if (firstFragment) {
        const ods::RecordHeader& header = record.header();
        values.continuationRead =
            WalkContinuationFragment(cursor, DecompressedLength(record), header.forwardPage, header.forwardLine, lookup);
    }
    if (values.shape == RelationFieldShape::ViewColumn) {
        ReadViewColumnRecord(cursor, values);
        WalkViewColumnTail(cursor, values);
    } else {
        ReadColumnNames(cursor, values);
        WalkColumnTail(cursor, values);
    }
    return values;
}

std::optional<std::string> ReadDefaultSourceText(ods::RecordStream& record)
{
    const std::uint16_t skip = record.ReadWord();
    record.SeekBy(skip);
    const std::uint16_t length = record.ReadWord();
    // Only the bytes the record holds; a length reaching past them is cut.
    const std::size_t start = record.offset();
    const std::size_t take = std::min<std::size_t>(length, record.remainingLength());
    const auto stored = record.bytes().subspan(std::min(start, record.size()), take);
    const std::string text = ods::DecodeText(stored);

    constexpr std::string_view kWord = "DEFAULT";
    const auto isBlank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    if (text.size() - at < kWord.size() || !EqualsNoCase(std::string_view(text).substr(at, kWord.size()), kWord))
        return std::nullopt;
    at += kWord.size();
    const auto continuesWord = [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_' ||
               ch == '$';
    };
    if (at < text.size() && continuesWord(text[at]))
        return std::nullopt;  // a longer word, not DEFAULT
    while (at < text.size() && isBlank(text[at]))
        ++at;
    if (at == text.size())
        return std::nullopt;
    return text.substr(at);
}

ContinuationLookup FileContinuationLookup(ods::ReadingContext& context)
{
    return [&context](std::uint32_t page, std::uint16_t line) -> std::optional<ods::RecordStream> {
        const std::uint32_t pageSize = context.pageSize;
        if (pageSize <= ods::kDataPageSlotArrayOffset || page >= context.PageCount())
            return std::nullopt;
        const std::uint64_t pageStart = std::uint64_t{page} * pageSize;
        std::array<std::byte, ods::kDataPageSlotArrayOffset> head{};
        context.ReadAt(pageStart, head);
        const auto byteAt = [&head](std::size_t at) { return std::to_integer<unsigned>(head[at]); };
        const auto wordAt = [&byteAt](std::size_t at) { return byteAt(at) | (byteAt(at + 1) << 8); };
        if (byteAt(0) != ods::kDataPage || wordAt(ods::kDataPageRelationOffset) != ods::kRelRelationFields)
            return std::nullopt;
        const std::size_t maxSlots = (pageSize - ods::kDataPageSlotArrayOffset) / ods::kSlotSize;
        const std::size_t slotCount = std::min<std::size_t>(wordAt(ods::kDataPageSlotCountOffset), maxSlots);
        if (line >= slotCount)
            return std::nullopt;
        std::array<std::byte, ods::kSlotSize> slot{};
        context.ReadAt(pageStart + ods::kDataPageSlotArrayOffset + std::uint64_t{line} * ods::kSlotSize, slot);
        const unsigned offset = std::to_integer<unsigned>(slot[0]) | (std::to_integer<unsigned>(slot[1]) << 8);
        const unsigned length = std::to_integer<unsigned>(slot[2]) | (std::to_integer<unsigned>(slot[3]) << 8);
        if (offset == 0 || offset >= pageSize)
            return std::nullopt;
        return ods::RecordStream::FromFile(context, pageStart + offset, static_cast<std::uint16_t>(length),
                                           pageStart + pageSize);
    };
}

RelationFieldsWalk::RelationFieldsWalk(SchemaModel& model, job::WorkerLink* link, ContinuationLookup lookup)
    : model_(model), link_(link), lookup_(std::move(lookup))
{
}

void RelationFieldsWalk::ReadRelationFieldRecord(ods::RecordStream& record)
{
    const ods::HeaderVerdict verdict = record.ReadRecordHeader(ods::HeaderVariant::RelationFields);
    switch (verdict) {
    case ods::HeaderVerdict::StoredText:
        ReadStoredDefaultText(record);
        return;
    case ods::HeaderVerdict::Accepted:
    case ods::HeaderVerdict::AcceptedFirstFragment:
        break;
    case ods::HeaderVerdict::Continuation:  // walked from its first fragment
    case ods::HeaderVerdict::Rejected:
        return;
    }
    const bool firstFragment = verdict == ods::HeaderVerdict::AcceptedFirstFragment;
    const RelationFieldValues values = WalkRelationFieldRecord(record, firstFragment, lookup_);
    if (values.shape == RelationFieldShape::Unreadable || values.relationName.empty())
        return;
    if (firstFragment)
        model_.pendingSources.push_back(values.fieldSource);
    if (values.shape == RelationFieldShape::ViewColumn)
        AddViewColumn(values);
    else
        AddTableColumn(values);
}

void RelationFieldsWalk::AddTableColumn(const RelationFieldValues& values)
{
    COLUMN column;
    column.name = values.columnName;
    column.fieldSource = values.fieldSource;
    column.notNull = values.notNull;
    column.hasDefault = values.hasDefault;
    column.position = values.position;
    column.fieldId = values.fieldId;
    if (!model_.AddColumn(values.relationName, column) && link_)
        link_->Log("Relation " + values.relationName + " has no entry in the relations catalogue; created with id 0");
    if (values.defaultIndex)
        model_.columnDefaults.push_back(COLIDANDDEFINDEX{values.fieldSource, *values.defaultIndex});
}

void RelationFieldsWalk::AddViewColumn(const RelationFieldValues& values)
{
    VIEWCOLUMN column;
    column.columnName = values.columnName;
    column.fieldSource = values.fieldSource;
    column.sourceText = values.baseField;
    column.position = static_cast<std::uint16_t>(values.position);
    model_.AddViewColumn(values.relationName, column);
    if (values.defaultIndex)
        model_.viewColumnDefaults.push_back(VIEWCOLIDANDDEFINDEX{values.fieldSource, *values.defaultIndex});
}

void RelationFieldsWalk::ReadStoredDefaultText(ods::RecordStream& record)
{
    record.SeekTo(ods::kBlobSegmentWordOffset);
    if (record.ReadWord() == 0)
        return;
    if (std::optional<std::string> text = ReadDefaultSourceText(record))
        model_.defaultTexts.push_back(std::move(*text));
}

void RelationFieldsWalk::Finish()
{
    // Columns in the order of their field ids: the order of the fields in
    // the table's records. A table with a column whose id was not found
    // keeps the order its records were met in.
    for (TableNode& table : model_.tables) {
        if (std::any_of(table.columns.begin(), table.columns.end(), [](const COLUMN& c) { return c.fieldId < 0; }))
            continue;
        std::stable_sort(table.columns.begin(), table.columns.end(),
                         [](const COLUMN& a, const COLUMN& b) { return a.fieldId < b.fieldId; });
    }
}

}  // namespace ravelin::catalogue

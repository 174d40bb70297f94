#include "extract/recordlayout.h"

#include <algorithm>
#include <map>

#include "catalogue/recordformats.h"
#include "extract/valuedecoder.h"
#include "ods/constants.h"

namespace ravelin::extract {
namespace {

using catalogue::TypeCode;

// Candidate computed columns beyond this many are not searched (2^n layouts).
constexpr std::size_t kMaxUnstoredCandidates = 12;

std::size_t StorageOf(const catalogue::COLUMN& column)
{
    const std::size_t size = FieldStorageSize(column);
    // A type this reader does not decode still takes its declared length.
    return size != 0 ? size : column.length;
}

std::size_t AlignmentOf(const catalogue::COLUMN& column, std::size_t size, std::size_t eightByteAlignment)
{
    if (column.dimensions != 0)
        return 4;  // an array id: two 32-bit halves, as a blob id
    switch (column.typeCode) {
    case TypeCode::kTypeChar:
        return 1;
    case TypeCode::kTypeVarchar:
    case TypeCode::kTypeSmallint:
    case TypeCode::kTypeBoolean:
        return 2;
    case TypeCode::kTypeInteger:
    case TypeCode::kTypeFloat:
    case TypeCode::kTypeDate:
    case TypeCode::kTypeTime:
    case TypeCode::kTypeTimestamp:  // two 32-bit halves
    case TypeCode::kTypeBlob:       // two 32-bit halves
        return 4;
    case TypeCode::kTypeDouble:
    case TypeCode::kTypeBigint:
        return eightByteAlignment;
    case TypeCode::kTypeNumeric:
    case TypeCode::kTypeDecimal:
    default:
        if (size >= 8)
            return eightByteAlignment;
        if (size >= 4)
            return 4;
        return size >= 2 ? 2 : 1;
    }
}

std::size_t AlignUp(std::size_t offset, std::size_t alignment)
{
    return alignment <= 1 ? offset : (offset + alignment - 1) / alignment * alignment;
}

}  // namespace

std::size_t NullFlagBytes(std::size_t columnCount)
{
    return 4 * ((columnCount + 31) / 32);
}

bool ColumnIsNull(std::span<const std::byte> data, std::size_t bit)
{
    const std::size_t byte = bit / 8;
    if (byte >= data.size())
        return true;
    return ((std::to_integer<unsigned>(data[byte]) >> (bit % 8)) & 1u) != 0;
}

bool HasFieldIds(std::span<const catalogue::COLUMN> columns)
{
    return std::all_of(columns.begin(), columns.end(), [](const catalogue::COLUMN& c) { return c.fieldId >= 0; });
}

RecordLayout FormatRecordLayout(std::span<const catalogue::COLUMN> columns, const ods::RecordFormat& format)
{
    RecordLayout layout;
    layout.flagBytes = format.NullFlagBytes();
    layout.length = format.RecordLength();
    layout.columns.reserve(columns.size());
    for (const catalogue::COLUMN& column : columns) {
        ColumnPlace place;
        place.nullBit = static_cast<std::size_t>(std::max(column.fieldId, 0));
        if (column.fieldId < 0 || place.nullBit >= format.fields.size() || format.fields[place.nullBit].dropped()) {
            place.absent = true;
            place.stored = false;
        } else if (const ods::FormatField& field = format.fields[place.nullBit]; !format.Stored(field)) {
            place.stored = false;
        } else {
            place.offset = field.offset;
            place.size = field.length;
            if (!catalogue::ColumnAgreesWithField(column, field)) {
                place.storedType = catalogue::ColumnOfField(column, field);
            } else if (field.characterSet() != column.characterSet) {
                place.storedType = column;
                place.storedType->characterSet = field.characterSet();
            }
        }
        layout.columns.push_back(std::move(place));
    }
    return layout;
}

RecordLayout ComputeRecordLayout(std::span<const catalogue::COLUMN> columns, const LayoutOptions& options)
{
    RecordLayout layout;
    layout.flagBytes = NullFlagBytes(columns.size());
    std::size_t offset = layout.flagBytes;
    layout.columns.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        ColumnPlace place;
        const bool computed = i < options.notStored.size() && options.notStored[i];
        const std::size_t size = computed ? 0 : StorageOf(columns[i]);
        place.nullBit = i;
        if (size == 0) {
            place.offset = offset;
            place.stored = false;
        } else {
            offset = AlignUp(offset, AlignmentOf(columns[i], size, options.eightByteAlignment));
            place.offset = offset;
            place.size = size;
            offset += size;
        }
        layout.columns.push_back(place);
    }
    layout.length = offset;
    return layout;
}

RecordLayout InferRecordLayout(std::span<const catalogue::COLUMN> columns,
                               std::span<const std::vector<std::byte>> samples)
{
    const RecordLayout plain = ComputeRecordLayout(columns);
    if (samples.empty())
        return plain;

    // The length most samples share; the first met wins a tie.
    std::map<std::size_t, std::size_t> lengthVotes;
    std::size_t formatLength = samples.front().size();
    for (const auto& sample : samples) {
        const std::size_t votes = ++lengthVotes[sample.size()];
        if (votes > lengthVotes[formatLength])
            formatLength = sample.size();
    }
    if (plain.length == formatLength)
        return plain;

    LayoutOptions wide;
    wide.eightByteAlignment = 8;
    RecordLayout layout = ComputeRecordLayout(columns, wide);
    if (layout.length == formatLength)
        return layout;

    // Columns NULL in every sample of the format's length that occupy bytes:
    // the computed ones are among them.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < columns.size() && candidates.size() < kMaxUnstoredCandidates; ++i) {
        if (plain.columns[i].size == 0)
            continue;
        // Samples of another length (damage, another format) have no say.
        const bool alwaysNull =
            std::all_of(samples.begin(), samples.end(), [i, formatLength](const std::vector<std::byte>& sample) {
                return sample.size() != formatLength || ColumnIsNull(sample, i);
            });
        if (alwaysNull)
            candidates.push_back(i);
    }
    // Subsets by increasing size, each in the order of a binary count.
    for (std::size_t taken = 1; taken <= candidates.size(); ++taken) {
        for (std::uint32_t mask = 1; mask < (1u << candidates.size()); ++mask) {
            if (static_cast<std::size_t>(__builtin_popcount(mask)) != taken)
                continue;
            for (const std::size_t alignment : {std::size_t{4}, std::size_t{8}}) {
                LayoutOptions options;
                options.eightByteAlignment = alignment;
                options.notStored.assign(columns.size(), false);
                for (std::size_t k = 0; k < candidates.size(); ++k)
                    if ((mask >> k) & 1u)
                        options.notStored[candidates[k]] = true;
                layout = ComputeRecordLayout(columns, options);
                if (layout.length == formatLength)
                    return layout;
            }
        }
    }
    return plain;
}

}  // namespace ravelin::extract

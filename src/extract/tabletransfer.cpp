#include "extract/tabletransfer.h"

#include "ods/storedarray.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "extract/datapagereader.h"
#include "extract/tablepages.h"
#include "ods/littleendian.h"
#include "ods/recordimage.h"
#include "ods/storedarray.h"
#include "extract/recordlayout.h"
#include "ods/constants.h"

namespace ravelin::extract {
namespace {

using catalogue::COLUMN;
using catalogue::TableNode;

// The layout is read from the records of the table's first data pages.
constexpr std::size_t kLayoutProbePages = 8;
constexpr std::size_t kLayoutSamples = 64;

constexpr std::array<std::string_view, 6> kRenamedColumns = {"YEAR", "GROUP", "FROM", "CHARACTER", "VALUE", "VALUES"};

RecordLayout ProbeLayout(ods::ReadingContext& context, std::span<const std::uint32_t> pages, const TableNode& table)
{
    // A reader of its own: the walk's reader keeps its page.
    DataPageReader reader(context, table.relationId);
    std::vector<std::vector<std::byte>> samples;
    ods::RecordImage image;
    ods::RecordHeader header;
    for (std::size_t i = 0; i < pages.size() && i < kLayoutProbePages && samples.size() < kLayoutSamples; ++i) {
        if (!reader.Load(pages[i]))
            continue;
        for (std::uint16_t slot = 0; slot < reader.SlotCount() && samples.size() < kLayoutSamples; ++slot) {
            // Only unfragmented records: a joined record may miss a lost part.
            if (reader.ReadSlot(slot, image, ods::kMaxRecordLength, header) == SlotKind::Record &&
                (header.flags & ods::kFlagFirstFragment) == 0)
                samples.emplace_back(image.bytes().begin(), image.bytes().end());
        }
    }
    return InferRecordLayout(table.columns, samples);
}

// One walk over a table's records; the state of TransferTableData and
// WalkTableRecords that lives only as long as the walk.
class TableWalk {
public:
    TableWalk(job::JobContext& job, const TableNode& table, const TransferHooks& hooks)
        : job_(job),
          state_(job.state),
          engine_(job.engine),
          link_(job.link),
          table_(table),
          hooks_(hooks),
          repair_(job.state.repairing),
          exact_(job.state.repairing && job.state.exactRestore),
          reader_(job.engine.context, table.relationId, &TransactionsOf(job.engine)),
          useFormats_(HasFieldIds(table.columns))
    {
        options_.mode = exact_ ? OutputMode::Exact : repair_ ? OutputMode::Repair : OutputMode::Preview;
        options_.relationId = table.relationId;
        if (exact_) {
            // The blob's bytes are read now and go with the record's INSERT.
            options_.blobPath = [this](const BlobId& id) -> std::string {
                ++engine_.blobFileCount;
                std::vector<std::byte>& bytes = parameters_.emplace_back().bytes;
                const ods::BlobReadStatus read = hooks_.blobs ? hooks_.blobs->ReadBlobValue(table_, id, bytes)
                                                              : ods::BlobReadStatus::Missing;
                if (read == ods::BlobReadStatus::Complete || read == ods::BlobReadStatus::Partial) {
                    if (read == ods::BlobReadStatus::Partial)
                        ++engine_.blobsPartial;
                    return "?";
                }
                parameters_.pop_back();
                ++engine_.blobsNotFound;
                return {};
            };
            // The array's elements go with the record's INSERT, when its
            // stored descriptor describes the bytes read whole.
            options_.arrayValue = [this](const BlobId& id) -> std::string {
                ++engine_.arrayCount;
                if (hooks_.blobs &&
                    hooks_.blobs->ReadBlobValue(table_, id, arrayBytes_) == ods::BlobReadStatus::Complete) {
                    if (const std::optional<ods::StoredArray> array = ods::ParseStoredArray(arrayBytes_)) {
                        InsertParameter& parameter = parameters_.emplace_back();
                        parameter.bytes.assign(array->elements.begin(), array->elements.end());
                        parameter.arrayElementLength = array->elementLength;
                        parameter.arrayTable = table_.name;
                        parameter.arrayColumn = InsertColumnName(table_.columns[currentColumn_].name);
                        return "?";
                    }
                }
                ++engine_.arraysNotCopied;
                return {};
            };
            // Computed columns take no value: the target computes them.
            for (const COLUMN& column : table_.columns)
                computed_.push_back(engine_.model.computedFields.count(column.fieldSource) != 0);
            statementHead_ = InsertStatementHead(table_, &computed_);
        } else if (repair_) {
            options_.blobPath = [this](const BlobId& id) {
                ++engine_.blobFileCount;
                return hooks_.blobs ? hooks_.blobs->BlobValuePath(table_, engine_.blobFileCount, id) : std::string();
            };
            // The salvage repair's tables have no array columns.
            options_.arrayValue = [this](const BlobId&) {
                ++engine_.arrayCount;
                ++engine_.arraysNotCopied;
                return std::string();
            };
            statementHead_ = InsertStatementHead(table_);
        }
    }

    void Run(std::uint32_t startIndex, std::uint32_t skipSlots);

private:
    // An exact restore: every blob and array id of this table that the
    // table's records store, in record order, for the blob numbering's fit.
    std::vector<BlobId> CollectBlobIds();
    enum class RecordEnd { Done, Stopped };

    // Decodes the record in image_ column by column, laid out as layout
    // says; in a preview sends its cells, in a repair executes its INSERT.
    // Without a layout the record's current version could not be read.
    // misfit: the record's stored bytes do not fit its format. A record
    // that is misfit, unreadable or has a value the decoders reject is
    // damaged: the preview marks its row, the repair sets it aside instead
    // of inserting it.
    RecordEnd TransferRecord(const RecordLayout* layout, bool misfit, std::uint32_t page, std::uint16_t slot);
    // The record's cells as far as they can be read (empty where not), for
    // the set-aside file.
    void SalvageCells(const RecordLayout* layout);
    // bound, when given, receives the value a prepared INSERT binds.
    FieldValue DecodeColumn(const RecordLayout& layout, std::size_t index, InsertValue* bound = nullptr);
    // The layout of records stored in format number: laid out by the file's
    // record format, or where the file holds no such format (or a column
    // has no field id) the layout inferred from the table's records.
    const RecordLayout& LayoutOf(std::uint8_t number);
    // After a slot of a preview: the paging rule. Yields true when the page
    // is full and the walk ends.
    bool PagingRule(std::uint32_t pageIndex, std::uint32_t slotsPassed);
    void ReportTableEnd(std::uint32_t pageIndex, std::uint32_t slotsPassed);
    void RememberNextPage(std::uint32_t pageIndex, std::uint32_t slotsPassed);
    void FinishRepairedTable();
    bool LastPage(std::uint32_t pageIndex) const { return pageIndex + 1 >= engine_.dataPageNumbers.size(); }

    job::JobContext& job_;
    job::JobState& state_;
    job::RecoveryEngine& engine_;
    job::WorkerLink& link_;
    const TableNode& table_;
    const TransferHooks& hooks_;
    const bool repair_;
    const bool exact_;
    // An exact restore: the current record's blob and array values, the
    // column being decoded, the bytes of an array as stored, and the
    // computed columns (by index), which the INSERT leaves out.
    std::vector<InsertParameter> parameters_;
    std::size_t currentColumn_ = 0;
    std::vector<std::byte> arrayBytes_;
    std::vector<bool> computed_;
    DataPageReader reader_;
    DecodeOptions options_;
    const bool useFormats_;
    std::array<std::optional<RecordLayout>, 256> layouts_;
    // For layouts_[n] laid out by the file's record format n: the bytes its
    // records keep zero.
    std::array<std::optional<ods::SlackCheck>, 256> slackChecks_;
    std::vector<std::string> cells_;
    std::optional<RecordLayout> inferred_;
    ods::RecordImage image_;
    std::string statementHead_;
    std::string statement_;
    // The record's values for a prepared INSERT (typed_): one per column
    // the statement names.
    bool typed_ = false;
    std::vector<InsertValue> values_;
    std::uint32_t rowsOnPage_ = 0;
    bool endReported_ = false;
    bool numericProblemShown_ = false;
};

void TableWalk::Run(std::uint32_t startIndex, std::uint32_t skipSlots)
{
    const std::vector<std::uint32_t>& pages = engine_.dataPageNumbers;
    if (pages.empty()) {
        engine_.repairSucceeded = true;
        return;
    }
    if (exact_ && hooks_.blobs) {
        const bool holdsBlobs = std::any_of(table_.columns.begin(), table_.columns.end(), [](const COLUMN& column) {
            return column.typeCode == catalogue::kTypeBlob || column.dimensions != 0;
        });
        if (holdsBlobs) {
            const std::vector<BlobId> ids = CollectBlobIds();
            if (link_.Stopped())
                return;
            hooks_.blobs->FitBlobNumbering(table_, ids);
        }
    }
    if (repair_ && hooks_.statements) {
        // One prepared INSERT for all records of the table, when the sink
        // takes values.
        std::string marked = statementHead_;
        bool first = true;
        for (std::size_t index = 0; index < table_.columns.size(); ++index) {
            if (exact_ && computed_[index])
                continue;
            marked += first ? "?" : ",?";
            first = false;
        }
        typed_ = !table_.columns.empty() && hooks_.statements->PrepareInsert(marked + ')');
    }
    const auto pageCount = static_cast<std::intptr_t>(pages.size());
    link_.Progress(job::kProgressStart, pageCount >= 100 ? pageCount : 10 * pageCount);
    const RecordLengths lengths = [this](std::uint8_t format) { return LayoutOf(format).length; };

    ods::RecordHeader header;
    for (std::uint32_t pageIndex = startIndex; pageIndex < pages.size(); ++pageIndex) {
        if (link_.Stopped())
            return;
        engine_.currentDataPage = pageIndex;
        reader_.Load(pages[pageIndex]);
        const std::uint16_t slotCount = reader_.SlotCount();
        std::uint16_t slot = 0;
        engine_.slotsLeft = slotCount;
        if (!repair_ && state_.pageRequested) {
            // A further page: its first data page is entered past the slots
            // that earlier pages showed, and the grid is emptied.
            slot = static_cast<std::uint16_t>(std::min<std::uint32_t>(skipSlots, slotCount));
            engine_.slotsLeft = static_cast<std::uint16_t>(slotCount - slot);
            link_.Send(job::UM_PAGING_STATE, 1, 0);
            state_.pageRequested = false;
        }
        for (; slot < slotCount; ++slot) {
            const SlotKind kind = reader_.ReadSlot(slot, image_, header, lengths);
            const bool row = kind == SlotKind::Record || kind == SlotKind::Unreadable;
            if (row) {
                const RecordLayout* layout = kind == SlotKind::Record ? &LayoutOf(header.format) : nullptr;
                // A record stored in a format of the file must expand to
                // exactly that format's length, its runs ending there, and
                // keep zero the bytes the server keeps zero.
                const std::optional<ods::SlackCheck>& slack = slackChecks_[header.format];
                const bool misfit = layout != nullptr && slack &&
                                    (image_.size() != layout->length || image_.overran() ||
                                     slack->FindStrayByte(image_.bytes()).has_value());
                if (TransferRecord(layout, misfit, pages[pageIndex], slot) == RecordEnd::Stopped)
                    return;
            }
            --engine_.slotsLeft;
            state_.recordDamaged = false;
            if (link_.Stopped())
                return;
            if (repair_)
                continue;
            // Rows and blob headers kept among them count toward the page's
            // 100; other versions of a row, deleted rows and fragments do not.
            if (row || kind == SlotKind::BlobHeader)
                ++rowsOnPage_;
            if (PagingRule(pageIndex, slot + 1u))
                return;
        }
    }
    if (link_.Stopped())
        return;
    if (repair_) {
        FinishRepairedTable();
    } else if (!endReported_) {
        // The last data page held no slot to report the end after.
        const auto last = static_cast<std::uint32_t>(pages.size() - 1);
        engine_.currentDataPage = last;
        engine_.slotsLeft = 0;
        ReportTableEnd(last, reader_.SlotCount());
    }
}

const RecordLayout& TableWalk::LayoutOf(std::uint8_t number)
{
    std::optional<RecordLayout>& layout = layouts_[number];
    if (!layout) {
        const ods::RecordFormat* format =
            useFormats_ ? engine_.model.FindRecordFormat(table_.relationId, number) : nullptr;
        if (format != nullptr) {
            layout = FormatRecordLayout(table_.columns, *format);
            slackChecks_[number].emplace(*format);
        } else {
            if (!inferred_)
                inferred_ = ProbeLayout(engine_.context, engine_.dataPageNumbers, table_);
            layout = *inferred_;
        }
    }
    return *layout;
}

FieldValue TableWalk::DecodeColumn(const RecordLayout& layout, std::size_t index, InsertValue* bound)
{
    if (bound != nullptr)
        bound->kind = ValueKind::Null;
    const ColumnPlace& place = layout.columns[index];
    const COLUMN& column = place.storedType ? *place.storedType : table_.columns[index];
    if (image_.size() < layout.flagBytes) {
        FieldValue value;
        value.damaged = true;  // the record ends inside its null flags
        return value;
    }
    if (place.absent || ColumnIsNull(image_.bytes(), place.nullBit))
        return NullFieldValue();
    if (!place.stored || column.typeCode == 0 || column.length == 0) {
        FieldValue value;
        value.damaged = true;  // a value where the table's format stores none
        return value;
    }
    const std::span<const std::byte> field = image_.Field(place.offset, place.size);
    FieldValue value = bound != nullptr ? DecodeInsertValue(field, column, options_, *bound)
                                        : DecodeFieldValue(field, column, options_);
    if (value.numericTooWide && !numericProblemShown_) {
        numericProblemShown_ = true;
        job_.dialogs.ShowMessageOk(NumericProblemText(column.typeCode));
    }
    return value;
}

std::vector<BlobId> TableWalk::CollectBlobIds()
{
    std::vector<BlobId> ids;
    const RecordLengths lengths = [this](std::uint8_t format) { return LayoutOf(format).length; };
    ods::RecordHeader header;
    for (const std::uint32_t page : engine_.dataPageNumbers) {
        if (link_.Stopped())
            break;
        reader_.Load(page);
        for (std::uint16_t slot = 0; slot < reader_.SlotCount(); ++slot) {
            if (reader_.ReadSlot(slot, image_, header, lengths) != SlotKind::Record)
                continue;
            const RecordLayout& layout = LayoutOf(header.format);
            if (image_.size() < layout.flagBytes)
                continue;
            for (std::size_t index = 0; index < layout.columns.size() && index < table_.columns.size(); ++index) {
                const ColumnPlace& place = layout.columns[index];
                const COLUMN& column = place.storedType ? *place.storedType : table_.columns[index];
                if ((column.typeCode != catalogue::kTypeBlob && column.dimensions == 0) || place.absent ||
                    !place.stored || ColumnIsNull(image_.bytes(), place.nullBit))
                    continue;
                const std::span<const std::byte> field = image_.Field(place.offset, place.size);
                if (field.size() < 8)
                    continue;
                const BlobId id{ods::LittleEndian(field, 0, 4), ods::LittleEndian(field, 4, 4)};
                if (id.relationId == table_.relationId)
                    ids.push_back(id);
            }
        }
    }
    return ids;
}

TableWalk::RecordEnd TableWalk::TransferRecord(const RecordLayout* layout, bool misfit, std::uint32_t page,
                                               std::uint16_t slot)
{
    bool damaged = misfit || layout == nullptr;
    // The statement is built in place as the values come; its storage is
    // kept from record to record.
    if (!typed_)
        statement_.assign(statementHead_);
    parameters_.clear();
    std::size_t valueCount = 0;
    const std::size_t columns = table_.columns.size();
    // A repair decodes no value of a record known damaged from the start:
    // it goes to the set-aside file as the salvage pass reads it.
    const std::size_t decoded = repair_ && damaged ? 0 : columns;
    bool firstValue = true;
    for (std::size_t index = 0; index < decoded; ++index) {
        if (repair_ && link_.Stopped())
            return RecordEnd::Stopped;
        if (exact_ && computed_[index])
            continue;
        FieldValue value;
        currentColumn_ = index;
        InsertValue* bound = nullptr;
        if (typed_) {
            if (values_.size() <= valueCount)
                values_.resize(valueCount + 1);
            bound = &values_[valueCount++];
        }
        if (layout != nullptr)
            value = DecodeColumn(*layout, index, bound);
        else
            value.damaged = true;
        damaged = damaged || value.damaged;
        if (repair_) {
            if (!damaged) {
                const ColumnPlace& place = layout->columns[index];
                const std::uint8_t typeCode = (place.storedType ? *place.storedType : table_.columns[index]).typeCode;
                // An exact restore's blob column holds the blob itself: a
                // zero or foreign blob id gives no blob, so NULL.
                if (exact_ && typeCode == catalogue::kTypeBlob && !value.parameter)
                    value.nullLiteral = true;
                if (bound != nullptr) {
                    if (value.nullLiteral)
                        bound->kind = ValueKind::Null;
                    else if (bound->kind == ValueKind::Parameter)
                        bound->integer = static_cast<std::int64_t>(parameters_.size()) - 1;
                } else {
                    if (!firstValue)
                        statement_ += ',';
                    firstValue = false;
                    AppendInsertValueText(statement_, typeCode, value);
                }
            }
        } else {
            // A value that cannot be read leaves its cell empty; the row's
            // last cell says whether the record is damaged.
            if (value.damaged)
                value.text.clear();
            state_.valueText = std::move(value.text);
            state_.recordDamaged = damaged && index + 1 == columns;
            link_.Send(job::UM_GRID_CELL);
            state_.valueText.clear();
        }
        link_.Progress(job::kProgressStep);
        // In a repair the values after a damaged one are not needed: the
        // record is set aside with the cells a salvage pass reads.
        if (repair_ && damaged)
            break;
    }
    if (!repair_)
        return RecordEnd::Done;
    if (link_.Stopped())
        return RecordEnd::Stopped;
    ++engine_.recordsPresent;
    if (damaged) {
        // Not inserted: a damaged record's values may be wrong. Its readable
        // cells go to the set-aside file.
        ++engine_.recordsDamaged;
        if (hooks_.damaged) {
            SalvageCells(layout);
            if (hooks_.damaged->SetAside(table_, page, slot, cells_))
                ++engine_.recordsSetAside;
        }
    } else if (columns != 0 && hooks_.statements) {
        bool inserted = false;
        if (typed_) {
            inserted = hooks_.statements->ExecutePrepared(std::span<const InsertValue>(values_.data(), valueCount),
                                                          parameters_);
        } else {
            statement_ += ')';
            inserted = exact_ ? hooks_.statements->ExecuteInsert(statement_, parameters_)
                              : hooks_.statements->ExecuteInsert(statement_);
        }
        if (inserted)
            ++engine_.recordsRecovered;
    }
    link_.Progress(job::kProgressStep);
    return RecordEnd::Done;
}

void TableWalk::SalvageCells(const RecordLayout* layout)
{
    cells_.assign(table_.columns.size(), std::string());
    if (layout == nullptr)
        return;
    // Blob values are not numbered again here: the numbering of the blob
    // files follows the records' first pass. Their cells stay empty.
    DecodeOptions first = options_;
    options_.blobPath = nullptr;
    for (std::size_t index = 0; index < table_.columns.size(); ++index) {
        FieldValue value = DecodeColumn(*layout, index);
        if (!value.damaged && !value.nullLiteral)
            cells_[index] = std::move(value.text);
    }
    options_ = std::move(first);
}

void TableWalk::RememberNextPage(std::uint32_t pageIndex, std::uint32_t slotsPassed)
{
    // Only the last known page learns where the following one starts.
    if (engine_.previewPage + 1u == engine_.previewPositions.size())
        engine_.previewPositions.push_back(catalogue::RECORDPOSCOUNT{pageIndex, slotsPassed});
}

void TableWalk::ReportTableEnd(std::uint32_t pageIndex, std::uint32_t slotsPassed)
{
    endReported_ = true;
    link_.Send(job::UM_PAGING_STATE, 1, 1);
    RememberNextPage(pageIndex, slotsPassed);
    link_.Progress(job::kProgressEnd);
}

bool TableWalk::PagingRule(std::uint32_t pageIndex, std::uint32_t slotsPassed)
{
    const bool lastPage = LastPage(pageIndex);
    if (rowsOnPage_ >= std::max<std::uint32_t>(engine_.previewPageRows, 1)) {
        if (lastPage && engine_.slotsLeft == 0) {
            ReportTableEnd(pageIndex, slotsPassed);
            return true;
        }
        link_.Send(job::UM_PAGING_STATE, 0, engine_.previewPage != 0 ? 1 : 0);
        RememberNextPage(pageIndex, slotsPassed);
        link_.Progress(job::kProgressEnd);
        return true;
    }
    if (lastPage && engine_.slotsLeft == 0)
        ReportTableEnd(pageIndex, slotsPassed);
    return false;
}

void TableWalk::FinishRepairedTable()
{
    BlobShortfall blobs{engine_.blobsNotFound, engine_.blobsPartial};
    if (engine_.blobFileCount != 0 && hooks_.blobs && !exact_)
        blobs = hooks_.blobs->ExtractTableBlobs(job_, table_);
    link_.Log(kTableRecoveredText + table_.name);
    link_.Log(kRecordsPresentText + std::to_string(engine_.recordsPresent));
    link_.Log(kRecordsRecoveredText + std::to_string(engine_.recordsRecovered));
    if (engine_.recordsSetAside != 0)
        link_.Log(kRecordsSetAsideText + std::to_string(engine_.recordsSetAside));
    link_.Blank();
    if (engine_.blobFileCount != 0) {
        link_.Log(kBlobsRecoveredText + std::to_string(engine_.blobFileCount - engine_.blobsNotFound));
        if (engine_.blobsNotFound != 0)
            link_.Log(kBlobsNotFoundText + std::to_string(engine_.blobsNotFound));
        if (engine_.blobsPartial != 0)
            link_.Log(kBlobsPartialText + std::to_string(engine_.blobsPartial));
        link_.Blank();
    }
    if (engine_.arrayCount != 0) {
        link_.Log(kArraysCopiedText + std::to_string(engine_.arrayCount - engine_.arraysNotCopied));
        if (engine_.arraysNotCopied != 0)
            link_.Log(kArraysNotCopiedLogText + std::to_string(engine_.arraysNotCopied));
        link_.Blank();
    }
    job::RepairedTable repaired;
    repaired.name = table_.name;
    repaired.present = engine_.recordsPresent;
    repaired.recovered = engine_.recordsRecovered;
    repaired.setAside = engine_.recordsSetAside;
    repaired.damaged = engine_.recordsDamaged;
    if (hooks_.damaged)
        repaired.setAsideFile = hooks_.damaged->Location();
    repaired.blobsLost = blobs.lost;
    repaired.blobsPartial = blobs.partial;
    repaired.arraysLost = engine_.arraysNotCopied;
    engine_.repairedTables.push_back(std::move(repaired));
    engine_.currentDataPage = 0;
    engine_.nullFlags.clear();
    engine_.dataPageNumbers.clear();
    engine_.slotsLeft = 0;
    engine_.recordsPresent = 0;
    engine_.recordsRecovered = 0;
    engine_.recordsDamaged = 0;
    engine_.recordsSetAside = 0;
    engine_.blobFileCount = 0;
    engine_.blobsNotFound = 0;
    engine_.blobsPartial = 0;
    engine_.arrayCount = 0;
    engine_.arraysNotCopied = 0;
    engine_.repairSucceeded = true;
    link_.Progress(job::kProgressEnd);
}

}  // namespace

ods::TransactionInventory& TransactionsOf(job::RecoveryEngine& engine)
{
    if (!engine.transactions)
        engine.transactions.emplace(engine.context, engine.pageLists);
    return *engine.transactions;
}

const catalogue::TableNode* FindTableNoCase(const catalogue::SchemaModel& model, std::string_view name)
{
    for (const TableNode& table : model.tables)
        if (catalogue::EqualsNoCase(table.name, name))
            return &table;
    return nullptr;
}

std::string InsertColumnName(std::string_view name)
{
    std::string out(name);
    for (const std::string_view word : kRenamedColumns)
        if (catalogue::EqualsNoCase(name, word))
            return out + "1";
    return out;
}

std::string InsertStatementHead(const TableNode& table, const std::vector<bool>* leftOut)
{
    std::string head = "INSERT INTO " + table.name + "(";
    bool first = true;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (leftOut != nullptr && i < leftOut->size() && (*leftOut)[i])
            continue;
        if (!first)
            head += ',';
        first = false;
        head += InsertColumnName(table.columns[i].name);
    }
    return head + ") VALUES (";
}

std::string BuildInsertStatement(const TableNode& table, std::span<const std::string> values)
{
    std::string statement = InsertStatementHead(table);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0)
            statement += ',';
        statement += values[i];
    }
    return statement + ")";
}

void CollectDataPageNumbers(job::JobContext& job, std::uint32_t relationId)
{
    std::vector<std::uint32_t>& pages = job.engine.dataPageNumbers;
    pages.clear();
    TablePageHooks hooks;
    hooks.interrupted = [&job] { return job.link.Stopped(); };
    pages = CollectTableDataPages(job.engine.context, job.engine.pageLists, relationId, hooks).pages;
}

void TransferTableData(job::JobContext& job, const TransferHooks& hooks)
{
    job::JobState& state = job.state;
    job::RecoveryEngine& engine = job.engine;
    const bool repair = state.repairing;
    const TableNode* table = FindTableNoCase(engine.model, repair ? state.repairedTableName : state.selectedObjectName);
    if (!table)
        return;
    CollectDataPageNumbers(job, table->relationId);
    if (job.link.Stopped())
        return;

    catalogue::RECORDPOSCOUNT start;
    if (!repair) {
        if (engine.previewPage != 0 && engine.previewPage < engine.previewPositions.size()) {
            start = engine.previewPositions[engine.previewPage];
        } else {
            engine.previewPage = 0;
            engine.previewPositions.assign(1, catalogue::RECORDPOSCOUNT{0, 0});
        }
    }
    WalkTableRecords(job, start.first, start.second, *table, hooks);
}

void WalkTableRecords(job::JobContext& job, std::uint32_t startIndex, std::uint32_t skipSlots,
                      const catalogue::TableNode& table, const TransferHooks& hooks)
{
    job.engine.nullFlags.clear();
    TableWalk walk(job, table, hooks);
    walk.Run(startIndex, skipSlots);
    job.state.recordDamaged = false;
    job.state.valueText.clear();
}

}  // namespace ravelin::extract

// Fuzz target, fourth depth: extraction. The input is the catalogue target's
// (a selector byte, then the file's pages from page 80 on, read in place
// behind the fixed front section). Runs a scan (catalogue and record
// formats), the record count, then for every table a preview of its first
// page into the preview grid and a repair walk: each INSERT is taken and
// converted to the code page as the target connection would send it,
// damaged records go to a set-aside line, and every blob value is read
// whole. Log lines and grid cells are escaped as the front ends show them.
// Record versions are resolved against the transaction inventory the fuzzed
// pages hold, if any.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "catalogue/readers.h"
#include "extract/previewgrid.h"
#include "extract/recordcount.h"
#include "extract/tabletransfer.h"
#include "fuzz/fuzzinput.h"
#include "job/frame.h"
#include "job/jobstate.h"
#include "job/jobsteps.h"
#include "job/recoveryengine.h"
#include "ods/blobstore.h"
#include "ods/textcodec.h"
#include "extract/blobextractor.h"
#include "extract/blobfiles.h"
#include "writer/damagedrecords.h"

namespace {

using namespace ravelin;

// Takes the worker's messages as a front end does: cells into the grid,
// log lines escaped.
class ShowingFrame final : public job::Frame {
public:
    ShowingFrame(job::JobState& state, job::RecoveryEngine& engine, std::string& logLine)
        : state_(state), engine_(engine), logLine_(logLine)
    {
    }
    extract::PreviewGrid grid;

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        switch (message) {
        case job::UM_GRID_CELL:
            grid.Cell(ods::ShownText(state_.valueText), state_.recordDamaged);
            break;
        case job::UM_PAGING_STATE:
            grid.PagingState(wParam, lParam, engine_, state_.forwardSteps);
            break;
        case job::UM_PAGING_OFF:
            grid.PagingOff();
            break;
        case job::UM_LOG_LINE:
            ods::ShownText(logLine_);
            break;
        default:
            break;
        }
        return 0;
    }

private:
    job::JobState& state_;
    job::RecoveryEngine& engine_;
    std::string& logLine_;
};

class AnswerOk final : public job::WorkerDialogs {
public:
    int ShowMessageDialog(const std::string&, job::MessageButtons) override { return job::kAnswerOk; }
    int ShowMessageOk(const std::string&) override { return job::kAnswerOk; }
    int ShowConnectionDialog(job::ConnectionAnswer&) override { return job::kAnswerNo; }
};

// A target that takes every INSERT, in the code page it is sent in: as
// texts, or (when prepared is set) as values bound to a prepared INSERT,
// whose parameters must all name a blob or array of the record.
class AcceptingSink final : public extract::StatementSink {
public:
    bool prepared = false;

    bool ExecuteInsert(const std::string& sqlUtf8) override
    {
        ods::EncodeText(sqlUtf8);
        return true;
    }
    bool ExecuteInsert(const std::string& sqlUtf8, std::span<const extract::InsertParameter>) override
    {
        return ExecuteInsert(sqlUtf8);
    }
    bool PrepareInsert(const std::string& sqlUtf8) override
    {
        markers_ = static_cast<std::size_t>(std::count(sqlUtf8.begin(), sqlUtf8.end(), '?'));
        return prepared;
    }
    bool ExecutePrepared(std::span<const extract::InsertValue> values,
                         std::span<const extract::InsertParameter> parameters) override
    {
        if (values.size() != markers_)
            __builtin_trap();  // a record's values must match its statement
        for (const extract::InsertValue& value : values) {
            if (value.kind == extract::ValueKind::Text)
                ods::EncodeText(value.text);
            if (value.kind == extract::ValueKind::Parameter &&
                (value.integer < 0 || static_cast<std::size_t>(value.integer) >= parameters.size()))
                __builtin_trap();  // a parameter the record does not carry
        }
        return true;
    }

private:
    std::size_t markers_ = 0;
};

// Reads every blob value of the table whole, as the blob pass does, into
// nothing but the type detection of its first bytes.
class ReadingBlobs final : public extract::BlobHandler {
public:
    explicit ReadingBlobs(job::RecoveryEngine& engine) : engine_(engine) {}

    std::string BlobValuePath(const catalogue::TableNode& table, std::uint32_t valueNumber,
                              const ods::BlobId& id) override
    {
        ids_.push_back(id);
        return extract::BlobValuePath("blobs", table.name, valueNumber).string();
    }

    extract::BlobShortfall ExtractTableBlobs(job::JobContext& job, const catalogue::TableNode& table) override
    {
        extract::BlobShortfall shortfall;
        ods::BlobStore store(engine_.context, engine_.pageLists, table.relationId);
        store.FitRecordNumbering(ids_);
        for (const ods::BlobId& id : ids_) {
            const auto location = store.Locate(id);
            if (!location) {
                ++shortfall.lost;
                continue;
            }
            std::vector<std::byte> head;
            std::uint64_t length = 0;
            store.Read(
                *location,
                [&](std::span<const std::byte> bytes) {
                    if (head.size() < 16)
                        head.insert(head.end(), bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 16));
                    length += bytes.size();
                    return true;
                },
                &job.link.stopRequested);
            extract::DetectBlobType(head, length);
        }
        ids_.clear();
        return shortfall;
    }

    // The exact restore's read of one whole blob value.
    ods::BlobReadStatus ReadBlobValue(const catalogue::TableNode& table, const ods::BlobId& id,
                                      std::vector<std::byte>& bytes) override
    {
        return extraction_.ReadBlobValue(engine_.context, engine_.pageLists, table, id, bytes);
    }

private:
    job::RecoveryEngine& engine_;
    std::vector<ods::BlobId> ids_;
    extract::BlobExtraction extraction_{"target.fdb"};
};

// Keeps nothing but the line the set-aside file would get.
class SetAsideLines final : public extract::DamagedRecordSink {
public:
    bool SetAside(const catalogue::TableNode& table, std::uint32_t, std::uint16_t,
                  const std::vector<std::string>& cells) override
    {
        std::vector<std::string> fields{table.name};
        fields.insert(fields.end(), cells.begin(), cells.end());
        writer::CsvLine(fields);
        return true;
    }
    const std::string& Location() const override { return location_; }

private:
    std::string location_ = "TargetDamaged.csv";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto input = fuzz::DecodePagesInput(data, size);
    if (!input)
        return 0;
    job::JobState state;
    job::RecoveryEngine engine;
    std::atomic<bool> stopRequested{false};
    std::string logLine;
    ShowingFrame frame(state, engine, logLine);
    job::WorkerLink link{frame, stopRequested, logLine};
    AnswerOk dialogs;
    job::JobContext job{state, engine, link, dialogs};
    if (!engine.context.OpenSource(fuzz::PagesInputSource(*input)))
        return 0;

    catalogue::CatalogueContext scan{engine.context, engine.pageLists, engine.model, link, engine.tableCount};
    catalogue::ScanDatabase(scan);
    state.scanning = true;
    extract::CountTableRecords(job);
    state.scanning = false;

    AcceptingSink statements;
    ReadingBlobs blobs(engine);
    SetAsideLines damaged;
    extract::TransferHooks hooks;
    hooks.statements = &statements;
    hooks.blobs = &blobs;
    hooks.damaged = &damaged;

    // Each relation once, as a repair creates each table once.
    std::set<std::uint32_t> walked;
    const std::vector<catalogue::TableNode> tables = engine.model.tables;
    for (const catalogue::TableNode& table : tables) {
        if (!walked.insert(table.relationId).second)
            continue;
        state.repairing = false;
        state.previewRequested = true;
        state.pageRequested = false;
        state.selectedObjectName = table.name;
        state.forwardSteps = 0;
        engine.previewPage = 0;
        engine.previewPositions.clear();
        std::vector<std::string> names;
        for (const catalogue::COLUMN& column : table.columns)
            names.push_back(column.name);
        frame.grid.SetColumns(names);
        extract::TransferTableData(job);
        frame.grid.Rows();

        state.previewRequested = false;
        state.repairing = true;
        // Every other relation as an exact restore walks it: its own date
        // and time texts, blob values read whole for their INSERT.
        state.exactRestore = walked.size() % 2 == 0;
        // Two relations of four go through a prepared INSERT's values.
        statements.prepared = walked.size() % 4 >= 2;
        state.repairedTableName = table.name;
        engine.recordsPresent = 0;
        engine.recordsRecovered = 0;
        extract::TransferTableData(job, hooks);
    }
    return 0;
}

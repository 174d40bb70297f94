#include "cli/extractcommands.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "catalogue/schemamodel.h"
#include "cli/consoleframe.h"
#include "cli/jobrun.h"
#include "cli/scancommand.h"
#include "extract/previewgrid.h"
#include "extract/recordextraction.h"
#include "extract/tabletransfer.h"
#include "job/jobdriver.h"
#include "ods/textcodec.h"

namespace ravelin::cli {
void AppendJsonString(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 15];
                } else {
                    out += static_cast<char>(byte);
                }
            }
            ++i;
            continue;
        }
        // The length the lead byte announces, and the range its second byte
        // must lie in (no overlong forms, no surrogates, nothing past
        // U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (byte >= 0xC2 && byte <= 0xDF) {
            length = 2;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            length = 3;
            low = byte == 0xE0 ? 0xA0 : 0x80;
            high = byte == 0xED ? 0x9F : 0xBF;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            length = 4;
            low = byte == 0xF0 ? 0x90 : 0x80;
            high = byte == 0xF4 ? 0x8F : 0xBF;
        }
        // The bytes that still fit the sequence: a sequence cut short is
        // replaced as a whole, a byte that breaks it starts afresh.
        std::size_t fitting = 1;
        while (length != 0 && fitting < length && i + fitting < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + fitting]);
            if (fitting == 1 ? next < low || next > high : next < 0x80 || next > 0xBF)
                break;
            ++fitting;
        }
        if (length != 0 && fitting == length)
            out.append(text, i, length);
        else
            out += "\xEF\xBF\xBD";
        i += fitting;
    }
    out += '"';
}

namespace {

// The stand-in for the main window of the record commands: keeps the log
// lines instead of printing them, feeds the grid messages to a preview grid,
// draws the progress bar on err, and presses the skip button of the
// record counting when asked to.
class RecordFrame final : public job::Frame {
public:
    RecordFrame(std::ostream& err, bool showProgress) : progress_(discard_, err, showProgress) {}

    void Attach(job::JobState& state, job::RecoveryEngine& engine)
    {
        state_ = &state;
        engine_ = &engine;
        progress_.Attach(state, engine);
    }

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        switch (message) {
        case job::UM_LOG_LINE:
            lines.push_back(ods::ShownText(state_->currentLogLine));
            return 0;
        case job::UM_FILL_TREE:
            job::CountTreeObjects(*engine_);
            return 0;
        case job::UM_SKIP_DIALOG:
            if (wParam == 1 && skipCounting)
                engine_->skipCounting = true;
            return 0;
        case job::UM_GRID_COLUMNS: {
            std::vector<std::string> names;
            for (const catalogue::TableNode& table : engine_->model.tables)
                if (table.name == state_->selectedObjectName) {
                    for (const catalogue::COLUMN& column : table.columns)
                        names.push_back(column.name);
                    break;
                }
            grid.SetColumns(std::move(names));
            return 0;
        }
        case job::UM_GRID_CELL:
            // The worker clears the text after the send: it is taken.
            grid.Cell(std::move(state_->valueText), state_->recordDamaged);
            return 0;
        case job::UM_PAGING_STATE:
            grid.PagingState(wParam, lParam, *engine_, state_->forwardSteps);
            return 0;
        case job::UM_PAGING_OFF:
            grid.PagingOff();
            return 0;
        case job::UM_PROGRESS:
            return progress_.Send(message, wParam, lParam);
        case job::UM_CLEAR_TREE:
        case job::UM_RESET_VIEW:
            return 1;
        default:
            return 0;
        }
    }

    std::vector<std::string> lines;
    extract::PreviewGrid grid;
    bool skipCounting = false;

private:
    std::ostringstream discard_;
    ConsoleFrame progress_;
    job::JobState* state_ = nullptr;
    job::RecoveryEngine* engine_ = nullptr;
};

// A scan through the driver, as the file dialog's Scan File starts it.
// Yields the exit code of a scan that did not complete, else -1.
int Scan(job::JobDriver& driver, const std::string& file, std::ostream& err)
{
    const int code = ScanAndWait(driver, file, err);
    return code == kExitCompleted ? -1 : code;
}

// The model's table named name (letter case ignored), or an error on err.
const catalogue::TableNode* ChooseTable(job::JobDriver& driver, const std::string& name, const std::string& file,
                                        std::ostream& err)
{
    const catalogue::TableNode* table = extract::FindTableNoCase(driver.Engine().model, name);
    if (table)
        return table;
    err << "ravelin-cli: " << file << ": no table named \"" << ods::ShownText(name) << "\" was recovered (tables:";
    for (const catalogue::TableNode& each : driver.Engine().model.tables)
        err << ' ' << ods::ShownText(each.name);
    err << ")\n";
    return nullptr;
}

// Prints the statements instead of executing them; every one counts as accepted.
class PrintingSink final : public extract::StatementSink {
public:
    explicit PrintingSink(std::ostream& out) : out_(out) {}
    bool ExecuteInsert(const std::string& sql) override
    {
        out_ << ods::ShownText(sql) << '\n';
        return true;
    }

private:
    std::ostream& out_;
};

// Prints preview rows as their pages arrive, so that a whole table of any
// size goes through in the memory of one page: text lines, or one JSON
// document {"columns":[...],"rows":[[...],...],"damaged":[...]} whose
// "damaged" array (one flag per row, written last) is all it keeps.
class RowPrinter {
public:
    RowPrinter(std::ostream& out, bool json) : out_(out), json_(json) {}

    void Begin(const std::vector<std::string>& columns)
    {
        columnCount_ = columns.size();
        if (json_) {
            out_ << "{\"columns\":";
            Row(columns);
            out_ << ",\"rows\":[";
        } else {
            Row(columns);
        }
    }

    // The grid's rows of one page, each padded with empty cells to the
    // column count.
    void Rows(const extract::PreviewGrid& grid)
    {
        for (const auto& row : grid.RowsAsShown()) {
            if (json_ && anyRow_)
                out_ << ',';
            Row(row);
            anyRow_ = true;
        }
        if (json_)
            damaged_.insert(damaged_.end(), grid.damaged().begin(), grid.damaged().end());
    }

    void End()
    {
        if (json_) {
            // Parallel to rows: whether each shows a damaged record. Written
            // flag by flag: a JSON array of millions of flags would take far
            // more memory than the flags themselves.
            out_ << "],\"damaged\":[";
            for (std::size_t i = 0; i < damaged_.size(); ++i)
                out_ << (i != 0 ? "," : "") << (damaged_[i] ? "true" : "false");
            out_ << "]}\n";
        }
        out_.flush();
    }

private:
    // One row: a JSON array of strings, or a text line whose cells are
    // shown escaped (a tab or line break inside a cell cannot pass for a
    // separator, nor a control sequence reach the terminal).
    void Row(const std::vector<std::string>& cells)
    {
        line_.clear();
        const std::size_t count = std::max(cells.size(), columnCount_);
        if (json_)
            line_ += '[';
        for (std::size_t i = 0; i < count; ++i) {
            if (i != 0)
                line_ += json_ ? ',' : '\t';
            const std::string_view cell = i < cells.size() ? std::string_view(cells[i]) : std::string_view();
            if (json_)
                AppendJsonString(line_, cell);
            else
                line_ += ods::ShownText(cell);
        }
        line_ += json_ ? "]" : "\n";
        out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    }

    std::ostream& out_;
    const bool json_;
    bool anyRow_ = false;
    std::size_t columnCount_ = 0;
    std::string line_;
    std::vector<bool> damaged_;
};

// Records per preview page of preview --all: fewer, larger pages, each
// printed and let go before the next.
constexpr std::uint32_t kStreamedPageRows = 10000;

}  // namespace

int RunPreviewCommand(const PreviewOptions& options, RecordCommandStreams& streams)
{
    RecordFrame frame(streams.err, streams.showProgress);
    ConsoleDialogs dialogs(streams.err);
    job::JobDriver driver(frame, dialogs);
    frame.Attach(driver.State(), driver.Engine());
    extract::RecordExtraction extraction;
    driver.SetExtractionSteps(extraction);
    frame.skipCounting = true;  // the preview needs no record count

    if (const int code = Scan(driver, options.file, streams.err); code >= 0)
        return code;
    const catalogue::TableNode* table = ChooseTable(driver, options.table, options.file, streams.err);
    if (!table)
        return kExitError;
    if (options.all)
        driver.Engine().previewPageRows = kStreamedPageRows;
    driver.StartPreview(job::PreviewKind::Table, table->name);
    driver.Wait();
    if (driver.Outcome() != job::JobOutcome::Completed)
        return ExitCodeOf(driver.Outcome());

    RowPrinter printer(streams.out, options.json);
    // The page asked for is reached page by page (the start of each is
    // learnt from the one before); --all prints every page as it comes.
    if (options.all || options.page == 0) {
        printer.Begin(frame.grid.columns());
        printer.Rows(frame.grid);
    }
    for (std::uint64_t page = 1; options.all || page <= options.page; ++page) {
        if (!frame.grid.nextEnabled()) {
            if (options.all)
                break;
            streams.err << "ravelin-cli: " << table->name << " has no preview page " << options.page
                        << " (its last page is " << page - 1 << ")\n";
            return kExitError;
        }
        driver.StartPage(true);
        driver.Wait();
        if (driver.Outcome() != job::JobOutcome::Completed)
            return ExitCodeOf(driver.Outcome());
        if (options.all) {
            printer.Rows(frame.grid);
        } else if (page == options.page) {
            printer.Begin(frame.grid.columns());
            printer.Rows(frame.grid);
        }
    }
    printer.End();
    return kExitCompleted;
}

int RunCountCommand(const std::string& file, RecordCommandStreams& streams)
{
    RecordFrame frame(streams.err, streams.showProgress);
    ConsoleDialogs dialogs(streams.err);
    job::JobDriver driver(frame, dialogs);
    frame.Attach(driver.State(), driver.Engine());
    extract::RecordExtraction extraction;
    driver.SetExtractionSteps(extraction);

    const int code = Scan(driver, file, streams.err);
    // The block follows the scan's "Counting table(s) records in database"
    // line and its blank line.
    const auto start = std::find(frame.lines.begin(), frame.lines.end(), job::kCountingText);
    if (start != frame.lines.end())
        for (auto line = start + 2; line < frame.lines.end(); ++line)
            streams.out << *line << '\n';
    return code >= 0 ? code : kExitCompleted;
}

int RunInsertsCommand(const std::string& file, const std::string& tableName, RecordCommandStreams& streams)
{
    RecordFrame frame(streams.err, streams.showProgress);
    ConsoleDialogs dialogs(streams.err);
    job::JobDriver driver(frame, dialogs);
    frame.Attach(driver.State(), driver.Engine());
    extract::RecordExtraction extraction;
    driver.SetExtractionSteps(extraction);
    frame.skipCounting = true;

    if (const int code = Scan(driver, file, streams.err); code >= 0)
        return code;
    const catalogue::TableNode* table = ChooseTable(driver, tableName, file, streams.err);
    if (!table)
        return kExitError;

    // The table's part of a repair, run here while no job runs: the
    // statements are printed instead of executed.
    job::JobState& state = driver.State();
    job::WorkerLink link{frame, state.stopRequested, state.currentLogLine};
    job::JobContext job{state, driver.Engine(), link, dialogs};
    state.previewRequested = false;
    state.repairing = true;
    state.repairedTableName = table->name;
    PrintingSink sink(streams.out);
    extract::TransferHooks hooks;
    hooks.statements = &sink;
    extract::TransferTableData(job, hooks);
    state.repairing = false;
    return kExitCompleted;
}

}  // namespace ravelin::cli

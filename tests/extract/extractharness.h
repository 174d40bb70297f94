#pragma once

// What the extraction tests share: a job context over a recording frame, a
// database image opened in the engine, a hand-built schema, and the preview
// grid fed by the frame's messages.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/recordformats.h"
#include "catalogue/schemamodel.h"
#include "extract/previewgrid.h"
#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "job/jobsteps.h"
#include "ods/constants.h"
#include "ods/pagescan.h"

namespace ravelin::extract::testing {

class AnswerOkDialogs final : public job::WorkerDialogs {
public:
    std::vector<std::string> shown;
    int ShowMessageDialog(const std::string& text, job::MessageButtons) override
    {
        shown.push_back(text);
        return job::kAnswerOk;
    }
    int ShowMessageOk(const std::string& text) override
    {
        shown.push_back(text);
        return job::kAnswerOk;
    }
    int ShowConnectionDialog(job::ConnectionAnswer&) override { return job::kAnswerNo; }
};

inline catalogue::COLUMN Column(std::string name, std::uint8_t type, std::uint16_t length, std::uint16_t scale = 0)
{
    catalogue::COLUMN column;
    column.name = std::move(name);
    column.typeCode = type;
    column.length = length;
    column.scale = scale;
    return column;
}

// The columns with field ids 0, 1, 2, ... in their order.
inline std::vector<catalogue::COLUMN> NumberedColumns(std::vector<catalogue::COLUMN> columns)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        columns[i].fieldId = static_cast<std::int32_t>(i);
    return columns;
}

struct Harness {
    fixture::RecordingFrame frame;
    job::JobState state;
    job::RecoveryEngine engine;
    AnswerOkDialogs dialogs;
    job::WorkerLink link{frame.Link()};
    job::JobContext job{state, engine, link, dialogs};
    PreviewGrid grid;

    Harness()
    {
        frame.onSend = [this](const fixture::RecordingFrame::Sent& sent) {
            switch (sent.message) {
            case job::UM_GRID_CELL:
                grid.Cell(state.valueText, state.recordDamaged);
                break;
            case job::UM_PAGING_STATE:
                grid.PagingState(sent.wParam, sent.lParam, engine, state.forwardSteps);
                break;
            case job::UM_PAGING_OFF:
                grid.PagingOff();
                break;
            default:
                break;
            }
        };
    }

    // Opens the image and files its pages as a scan does.
    void Open(const fixture::FixtureWriter& writer) { Open(writer.Source()); }
    void Open(std::unique_ptr<ods::PageSource> source)
    {
        ASSERT_TRUE(engine.context.OpenSource(std::move(source)));
        engine.pageLists.clear();
        ods::ScanPages(engine.context, engine.pageLists, link);
        frame.sent.clear();
    }

    // Reads the record formats of the opened image as a scan reads them.
    void ReadRecordFormats()
    {
        std::uint16_t tables = 0;
        catalogue::CatalogueContext scan{engine.context, engine.pageLists, engine.model, link, tables};
        for (const ods::PageListNode& node : engine.pageLists) {
            if (node.relationId == ods::kRelFormats && node.pageType == ods::kDataPage)
                catalogue::ReadRecordFormats(scan, node);
        }
    }

    catalogue::TableNode& AddTable(const std::string& name, std::uint32_t relationId,
                                   std::vector<catalogue::COLUMN> columns)
    {
        catalogue::TableNode table;
        table.name = name;
        table.relationId = relationId;
        table.columns = std::move(columns);
        engine.model.tables.push_back(std::move(table));
        return engine.model.tables.back();
    }

    // A preview of the table's first page, as the preview job runs it.
    void StartPreview(const std::string& table)
    {
        state.previewRequested = true;
        state.repairing = false;
        state.selectedObjectName = table;
        state.forwardSteps = 0;
        engine.previewPage = 0;
        engine.previewPositions.clear();
        const auto* node = FindTable(table);
        grid.SetColumns(node ? ColumnNames(*node) : std::vector<std::string>{});
        grid.PagingOff();
    }

    const catalogue::TableNode* FindTable(const std::string& name) const
    {
        for (const auto& table : engine.model.tables)
            if (catalogue::EqualsNoCase(table.name, name))
                return &table;
        return nullptr;
    }

    static std::vector<std::string> ColumnNames(const catalogue::TableNode& table)
    {
        std::vector<std::string> names;
        for (const auto& column : table.columns)
            names.push_back(column.name);
        return names;
    }

    std::vector<fixture::RecordingFrame::Sent> Sent(std::uint32_t message) const
    {
        std::vector<fixture::RecordingFrame::Sent> out;
        for (const auto& sent : frame.sent)
            if (sent.message == message)
                out.push_back(sent);
        return out;
    }
};

}  // namespace ravelin::extract::testing

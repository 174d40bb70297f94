#include "catalogue/readers.h"

#include "catalogue/relationfieldwalk.h"
#include "ods/constants.h"
#include "ods/slotwalk.h"

namespace ravelin::catalogue {

void ReadRelationFields(CatalogueContext& scan, const ods::PageListNode& node)
{
    job::WorkerLink& link = scan.link;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(node.pagePositions.size()));
    RelationFieldsWalk walk(scan.model, &link, FileContinuationLookup(scan.context));
    ods::SlotWalkHooks hooks;
    hooks.pageStart = [&link](std::uint16_t slotCount) { link.Progress(job::kProgressStart, slotCount); };
    hooks.afterSlot = [&link] { link.Progress(job::kProgressStep); };
    hooks.pageEnd = [&link] { link.Progress(job::kProgressEnd); };
    ods::ForEachRecordSlot(
        scan.context, node, link.stopRequested, [&walk](ods::RecordStream& record) { walk.ReadRelationFieldRecord(record); },
        hooks);
    walk.Finish();
}

void ReadDefaultTexts(CatalogueContext& scan, const ods::PageListNode& node)
{
    job::WorkerLink& link = scan.link;
    SchemaModel& model = scan.model;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(node.pagePositions.size()));
    ods::SlotWalkHooks hooks;
    hooks.afterSlot = [&link] { link.Progress(job::kProgressStep); };
    ods::ForEachRecordSlot(
        scan.context, node, link.stopRequested,
        [&model](ods::RecordStream& record) {
            // Blob records of relation 5: transaction word 0 and a nonzero
            // word at 8. Every such record holds one index of defaultTexts,
            // a blank when its text is not a default's source.
            if (record.ReadLong() != 0)
                return;
            record.SeekTo(ods::kBlobSegmentWordOffset);
            if (record.ReadWord() == 0)
                return;
            std::optional<std::string> text = ReadDefaultSourceText(record);
            model.defaultTexts.push_back(text ? std::move(*text) : std::string(" "));
        },
        hooks);
    link.Progress(job::kProgressEnd);
}

}  // namespace ravelin::catalogue

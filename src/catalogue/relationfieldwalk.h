#pragma once

// The walk over one record of the relation-fields catalogue (relation 5):
// the names, position, field id, null flag and default links of a table
// column or view column, read straight from the record's compressed runs.
//
// A relation-fields record holds, after 4 null-flag bytes, three blank-padded
// name fields of 67 bytes each (column name, relation name, field source),
// then the numeric fields (ods/constants.h gives their offsets). Padding
// compresses into repeat runs of blanks, so a name usually shows as a literal
// run followed by a repeat run; the walk counts decompressed bytes through
// every run, so a name that is split over several runs (a repeated letter or
// digit, a blank inside, a whole unpadded name) is read whole and the next
// field starts exactly where the 67 bytes end. Nothing is decompressed into a
// buffer and nothing is read outside the record's bytes.
//
// A record too long for its page is stored in fragments: the first (header
// flags 8) carries the forward pointer to its continuation (flags 4, or 12
// when it continues again). The walk follows that pointer through a lookup
// the caller supplies, so the values after the names are found even when
// they lie in the continuation.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/schemamodel.h"
#include "job/frame.h"
#include "ods/readingcontext.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue {

// How a record's first control byte c1 (and the first data byte) classify it.
enum class RelationFieldShape {
    Unreadable,  // no data at all (c1 of 0, or nothing after the header)
    A,           // c1 of 72 or more: the null flags and a whole unpadded column name in one
                 // literal run (a repeat run of the null flags, c1 of 128 or more, counts here too)
    B,           // c1 of 4: the null flags alone; the column name begins with a repeat run
    D,           // the usual shape: the null flags and the start of the column name
    ViewColumn,  // the first null-flag byte is 0xA8: a column of a view
};

// Classifies by the first control byte and the byte after it (the first
// null-flag byte, whether c1 starts a literal or a repeat run).
RelationFieldShape ClassifyRelationFieldRecord(std::uint8_t c1, std::uint8_t b1);

// Yields the continuation fragment that a forward pointer names, its header
// not yet read, or nullopt when the pointer does not lead to a record of a
// relation-5 data page. Called at most once per pointer of a chain.
using ContinuationLookup = std::function<std::optional<ods::RecordStream>(std::uint32_t page, std::uint16_t line)>;

// A column as one record describes it.
struct RelationFieldValues {
    RelationFieldShape shape = RelationFieldShape::Unreadable;
    std::string columnName;    // blanks replaced by "_"
    std::string relationName;  // blanks replaced by "_"; the view name for a view column
    std::string fieldSource;   // blanks kept
    std::string baseField;     // view columns: the base column's name, blanks replaced by "_"
    std::uint8_t notNull = 0;
    std::uint8_t hasDefault = 0;
    std::int32_t position = 0;  // declared position plus 1; 0 when not found
    std::int32_t fieldId = -1;  // place in the stored record format; -1 when not found
    std::optional<std::uint16_t> defaultIndex;  // record number of the default's source text
    bool firstFragment = false;
    bool continuationRead = false;  // the forward pointer led to a continuation that was walked
};

// The decompressed bytes of a record's runs, read forward from the first
// control byte of its data and on through its continuation fragments.
class RunCursor {
public:
    // record: positioned at the first control byte of its data. The record
    // must outlive the cursor.
    explicit RunCursor(ods::RecordStream& record);

    // Appends a continuation fragment, positioned at its first control byte;
    // its runs follow when the runs before it end. The cursor keeps it.
    void Append(ods::RecordStream continuation);

    // Decompressed bytes passed so far.
    std::size_t offset() const { return offset_; }
    // Moves forward to decompressed offset target (never back). False when
    // the data ends first.
    bool SkipTo(std::size_t target);
    // Appends up to count decompressed bytes to out; yields how many there were.
    std::size_t Read(std::size_t count, std::string& out);
    // Reads a little-endian value of width bytes (1..4) at offset target;
    // nullopt when the data ends before its last byte or target lies behind.
    std::optional<std::uint32_t> ValueAt(std::size_t target, unsigned width);

private:
    // Makes the current run hold at least one byte; false at the end of the data.
    bool Fill();

    ods::RecordStream* current_;
    std::deque<ods::RecordStream> continuations_;
    std::size_t nextContinuation_ = 0;
    unsigned runLeft_ = 0;
    bool repeatRun_ = false;
    std::uint8_t repeatByte_ = 0;
    std::size_t offset_ = 0;
    bool ended_ = false;
};

// Decompressed bytes of the runs from the record's cursor on (the record
// itself is not moved): up to a control byte 0 or the record's end.
std::size_t DecompressedLength(const ods::RecordStream& record);

// Attaches the continuation fragment stored at (page, line) to the cursor,
// and the fragments that continue it in turn: each must carry flags 4
// (continuation) or 12 (continuation continued elsewhere); a fragment met
// twice ends the chain. firstLength is the decompressed length of the first
// fragment's data. The fragments are attached only when, together with it,
// they make up the length of a whole relation-fields record: a fragment cut
// short would otherwise shift every value after it. Yields true when the
// fragments were attached.
bool WalkContinuationFragment(RunCursor& cursor, std::size_t firstLength, std::uint32_t page, std::uint16_t line,
                              const ContinuationLookup& lookup);

// Reads the column name, relation name and field source (the cursor at
// decompressed offset 0); stops where the data ends.
void ReadColumnNames(RunCursor& cursor, RelationFieldValues& values);
// The numeric fields of a table column: position, field id, default marker,
// null flag and default reference.
void WalkColumnTail(RunCursor& cursor, RelationFieldValues& values);
// A view column's names: its name, the view's name, the field source and the
// base column's name.
void ReadViewColumnRecord(RunCursor& cursor, RelationFieldValues& values);
// The numeric fields of a view column: position and default reference.
void WalkViewColumnTail(RunCursor& cursor, RelationFieldValues& values);

// Walks one relation-fields record whose header the caller has accepted
// (ods::HeaderVerdict::Accepted or AcceptedFirstFragment; the record stands
// at the first control byte of its data). A first fragment's forward pointer
// is followed through lookup (may be empty: then it is not followed).
RelationFieldValues WalkRelationFieldRecord(ods::RecordStream& record, bool firstFragment,
                                            const ContinuationLookup& lookup);

// The text of a default's source held by a blob record of relation 5 (a
// stored default text on a data page, or a record of a type-12 page),
// positioned at the 16-bit count at offset 10: the value written after the
// word DEFAULT. nullopt when the text does not begin with that word.
std::optional<std::string> ReadDefaultSourceText(ods::RecordStream& record);

// The continuation lookup over the open database file: the page must lie
// inside the file and be a data page of relation 5, the line one of its
// slots, and the slot must hold a record.
ContinuationLookup FileContinuationLookup(ods::ReadingContext& context);

// One walk over the records of relation 5's data pages: turns every record
// into a table column, a view column or a default text of the schema model.
// Records that fail their header test, continuation fragments (read through
// their first fragment instead) and records without a relation name produce
// nothing.
class RelationFieldsWalk {
public:
    // link may be null (no log line is written then).
    RelationFieldsWalk(SchemaModel& model, job::WorkerLink* link, ContinuationLookup lookup);

    // The visitor of the slot walk: one record, positioned at its first byte.
    void ReadRelationFieldRecord(ods::RecordStream& record);
    // A record whose transaction is 0, positioned after the transaction: a
    // default text stored on a data page is appended to defaultTexts.
    void ReadStoredDefaultText(ods::RecordStream& record);
    // Puts the columns of every table whose records all told their field id
    // into field-id order: the order in which the table's records store their
    // fields. Other tables keep the order the records were met in.
    void Finish();

private:
    void AddTableColumn(const RelationFieldValues& values);
    void AddViewColumn(const RelationFieldValues& values);

    SchemaModel& model_;
    job::WorkerLink* link_;
    ContinuationLookup lookup_;
    // Per table: the field id of each of its columns, in the columns' order
    // (-1 when a record did not tell it).
};

}  // namespace ravelin::catalogue

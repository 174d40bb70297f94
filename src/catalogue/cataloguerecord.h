#pragma once

// What the readers of the field-definition, index-segment, index and
// relation-constraint catalogues (relations 2, 3, 4 and 22) share: the header
// tests that pick the records worth walking, the joining of a fragmented
// record with its continuation, and the run-level reads of names and filler.
//
// Only the recovery worker thread uses these.

#include <cstdint>
#include <optional>
#include <string>

#include "ods/readingcontext.h"
#include "ods/recordimage.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue {

// The compressed data of one catalogue record, ready for a walk.
struct CatalogueRecord {
    std::uint32_t transaction = 0;
    std::uint8_t flags = 0;   // header byte 10
    std::uint8_t format = 0;  // header byte 12
    // The record's runs from the first control byte on (cursor at 0). A
    // record stored in fragments is whole here: the first fragment's runs
    // followed by those of its continuations.
    ods::RecordStream data;
};

// Header tests of the catalogue readers, applied to one slot's record bytes:
// - transaction 0 (records the database wrote for itself): skipped;
// - deleted stubs, older versions, continuation fragments met on their own
//   and blobs stored on the page (flags 1, 2, 4, 16): skipped, since none of
//   them is a whole current record;
// - a first fragment (flags 8): its runs from offset 22, joined with the
//   continuation the forward pointer names (read from context, which must
//   belong to the same relation and carry the continuation flag), and so on
//   for at most a few links;
// - anything else: its runs from offset 13.
// Yields nothing for a skipped record. Never reads outside the record bytes
// or outside the continuation pages' slots.
std::optional<CatalogueRecord> OpenCatalogueRecord(const ods::ReadingContext& context, ods::RecordStream& record,
                                                   std::uint32_t relationId);

// The same without a file: a first fragment keeps only its own runs.
std::optional<CatalogueRecord> OpenCatalogueRecord(ods::RecordStream& record);

// The decompressed data of a catalogue record of a fixed length, expanded
// into image: only a whole current version (no deletion stub, old version,
// change mask, fragment or blob) whose runs give exactly length bytes;
// nullopt otherwise.
std::optional<std::span<const std::byte>> ExpandFixedRecord(const ods::RecordStream& record, ods::RecordImage& image,
                                                            std::size_t length);

// True for a repeat-run control byte (128..255).
inline bool IsRepeatRun(std::uint8_t control) { return control >= 128; }
// Number of bytes a repeat run stands for (256 - control).
inline unsigned RepeatCount(std::uint8_t control) { return 256u - control; }

// Filler test: reads a control byte and the byte after it; passes when the
// control byte starts a repeat run of zeros or blanks (the filler of a
// fixed-width name field), so that the next control byte starts the next field.
bool PassFiller(ods::RecordStream& data);

// A name whose first part is the literal run of `length` bytes at the
// cursor (its control byte already read). The name continues over a repeat
// run of a character other than blank or zero (the compressed form of
// repeated letters or digits, as in "RDB$111" or "INTEG_1000") and over a
// literal run that follows such a repeat run, up to the 67 characters of a
// name field. Repeat runs are taken as the byte value itself, literal runs
// through the code page. storedLength, when given, receives the number of
// stored characters the name accounts for.
std::string ReadRunName(ods::RecordStream& data, std::uint8_t length, unsigned* storedLength = nullptr);
// Continues a name already begun (stored: the characters it accounts for so
// far, updated) over the runs at the cursor, as ReadRunName does.
void ContinueRunName(ods::RecordStream& data, std::string& name, unsigned& stored);

// Reads count (1..4) bytes of decompressed data starting at the run that
// begins at the cursor, little-endian; runs may end inside the value. Yields
// nothing when the record ends first.
std::optional<std::uint32_t> ReadDecompressed(ods::RecordStream& data, unsigned count);

}  // namespace ravelin::catalogue

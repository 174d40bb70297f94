#pragma once

// One record's stored bytes and a cursor over them: header tests, the
// run-length compressed runs, remainingLength accounting and the text
// operations of the catalogue walks. Reads never leave the record's bytes:
// a read past its end yields zeros and charges nothing further. Such phantom
// bytes are remembered, so a later move back first takes them back and the
// walk re-reads exactly the bytes it meant to, never earlier ones.
//
// Compressed data is a sequence of runs, each begun by a control byte c:
// 1..127 a literal run of the next c bytes; 128..255 a repeat run in which
// the single next byte stands for 256 - c copies of itself; 0 no data.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ravelin::ods {

class ReadingContext;

// Decoded record header (the raw layout is in ods/constants.h).
struct RecordHeader {
    std::uint32_t transaction = 0;
    std::uint32_t backPage = 0;
    std::uint16_t backLine = 0;
    std::uint8_t flags = 0;   // byte 10: 0 plain, 4 continuation, 8 first fragment
    std::uint8_t flags2 = 0;  // byte 11: never tested (0x20 etc. in newer files)
    std::uint8_t format = 0;  // byte 12
    std::uint32_t forwardPage = 0;  // flagged records only
    std::uint16_t forwardLine = 0;  // flagged records only
};

// Header variants of the walks.
enum class HeaderVariant {
    RelationPrePass,  // relation records: transaction 0 rejected, data at 13 (flags 0) or 22
    RelationFields,   // relation-field records; see HeaderVerdict
};

// What ReadRecordHeader decided. The flags tested are header byte 10 only.
// A record too short to hold the header its flags call for (13 bytes, or 22
// for a flagged record) is rejected by every variant.
//
// Relation pre-pass: transaction 0 rejected; flags 0 accepted with data at
// 13; any other flags accepted with data at 22 (flags 8 reported as
// AcceptedFirstFragment). The format byte is not tested.
// Relation fields: transaction 0 -> StoredText; back-version line != 0
// rejected; flags 0 accepted when the format byte is 1 or 0; flags 8
// accepted without testing the format (AcceptedFirstFragment); flags 4 ->
// Continuation; any other flags rejected.
enum class HeaderVerdict {
    Rejected,              // produce nothing
    Accepted,              // positioned at the first control byte of the data (13 or 22)
    AcceptedFirstFragment, // flags 8: positioned at 22, the record continues elsewhere
    StoredText,            // transaction 0: positioned after the transaction word (offset 4)
    Continuation,          // flags 4: positioned after the format byte (offset 13)
};

class RecordStream {
public:
    // bytes: the record's stored bytes as the slot gives them (position 0 is
    // the first header byte). remainingLength starts at bytes.size(), capped
    // at 65535.
    explicit RecordStream(std::vector<std::byte> bytes);
    // Copies length bytes at offset from the context's file, clipped to
    // pageEnd (bytes past the page end are not part of the record).
    static RecordStream FromFile(ReadingContext& context, std::uint64_t offset, std::uint16_t length,
                                 std::uint64_t pageEnd);

    // Bytes of the record not yet consumed.
    std::uint16_t remainingLength() const;
    // More than 1 byte remains: a walk may read another control byte.
    bool CanReadControl() const { return remainingLength() > 1; }
    // Cursor, bytes from the first header byte.
    std::size_t offset() const { return cursor_; }
    std::size_t size() const { return bytes_.size(); }
    std::span<const std::byte> bytes() const { return bytes_; }

    // The control byte last read by a run walk.
    std::uint8_t controlByte = 0;

    // Header: reads the fields the variant needs and leaves the cursor as the
    // verdict says. header() keeps what was read.
    HeaderVerdict ReadRecordHeader(HeaderVariant variant);
    const RecordHeader& header() const { return header_; }

    // Positioned reads; each charges its bytes to remainingLength.
    std::uint8_t ReadByte();
    std::uint16_t ReadWord();
    std::uint32_t ReadLong();
    // Reads a control byte into controlByte and yields it.
    std::uint8_t ReadControl();
    // Moves forward (positive) or back (negative); never before byte 0 and
    // never onto bytes past the end (those count as phantom bytes, above).
    void SeekBy(int distance);
    void SeekTo(std::size_t offset);

    // length bytes as text in the configured code page (ends at the first
    // zero); with skipLengthWord first moves 4 bytes on and reads length - 4.
    std::string ReadStoredString(std::uint16_t length, bool skipLengthWord = false);

    // Moves over count bytes of decompressed data by walking whole runs; the
    // first control byte is read here. Leaves the cursor at the control byte
    // of the run after the skipped bytes. A run that reaches past count is
    // consumed whole and ends the walk; so does a record with 1 byte or less
    // left. Count 0 moves nothing.
    void SkipDecompressed(std::uint8_t count);
    // Extends a name until it accounts for 67 characters (one per stored
    // byte) and yields it; repeat runs of blanks or zeros (padding) add
    // nothing. The name never grows past 67 characters: a run reaching past
    // the field is consumed whole, only its share of the field is kept, and
    // the walk ends.
    std::string ContinueName(std::string name);
    // Text of a name's tail stored as repeat runs, optionally ending in a
    // literal run; the caller has read the control byte and the byte after
    // it. Stops after a repeat run of blanks (consumed) or of zeros
    // (consumed), at control byte 0, or after a literal run, which is read
    // whole as text; the padding run that follows such a literal run is
    // consumed too, so the cursor stands at the next field's first run.
    std::string CollectRepeatText(std::uint8_t control, std::uint8_t nextByte);
    // The same for a field source: a repeat run of blanks is left for the
    // caller (cursor moved back onto its control byte); a literal run ends
    // the text and is read whole.
    std::string CollectFieldSource(std::uint8_t control, std::uint8_t nextByte);

private:
    // Reads the next control byte and the byte after it, when more than 1
    // byte remains; false (nothing read) otherwise.
    bool ReadPair(std::uint8_t& control, std::uint8_t& byte);

    std::vector<std::byte> bytes_;
    std::size_t cursor_ = 0;    // never past bytes_.size()
    std::size_t phantom_ = 0;   // bytes "read" past the end, taken back first by a move back
    RecordHeader header_;
};

// Replaces every blank by "_".
std::string SpacesToUnderscores(std::string text);

}  // namespace ravelin::ods

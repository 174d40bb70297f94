#pragma once

// One record's stored bytes and a cursor over them: header tests, the
// run-length compressed runs, remainingLength accounting and the text
// operations of the catalogue walks. Reads never leave the record's bytes:
// a read past its end yields zeros and charges nothing further.
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

// What ReadRecordHeader decided.
enum class HeaderVerdict {
    Rejected,             // produce nothing
    Accepted,             // positioned at the first control byte of the data
    AcceptedFirstFragment,// flags 8: data at 22, the record continues elsewhere
    StoredText,           // relation fields: transaction 0, the stored-default-text path
    Continuation,         // relation fields: flags 4, positioned after the header (offset 13)
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
    // Moves forward (positive) or back (negative); never before byte 0.
    void SeekBy(int distance);
    void SeekTo(std::size_t offset);

    // length bytes as text in the configured code page (ends at the first
    // zero); with skipLengthWord first moves 4 bytes on and reads length - 4.
    std::string ReadStoredString(std::uint16_t length, bool skipLengthWord = false);

    // Moves over count bytes of decompressed data by walking whole runs; the
    // first control byte is read here.
    void SkipDecompressed(std::uint8_t count);
    // Extends a name until it accounts for 67 characters; repeat runs of
    // blanks (padding) add nothing.
    std::string ContinueName(std::string name);
    // Repeat runs (optionally ending in a literal run) turned into text; the
    // caller has read controlByte and nextByte.
    std::string CollectRepeatText(std::uint8_t control, std::uint8_t nextByte);
    std::string CollectFieldSource(std::uint8_t control, std::uint8_t nextByte);

private:
    std::vector<std::byte> bytes_;
    std::size_t cursor_ = 0;
    RecordHeader header_;
};

// Replaces every blank by "_".
std::string SpacesToUnderscores(std::string text);

}  // namespace ravelin::ods

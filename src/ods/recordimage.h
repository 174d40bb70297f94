#pragma once

// The decompressed data of one user record: its null flags followed by its
// columns, expanded from the record's run-length compressed bytes into a
// bounded buffer. The field decoders work on spans of this buffer, so each of
// them starts at the first byte of its column whatever the runs looked like.
//
// Compressed data is a sequence of runs, each begun by a control byte c:
// 1..127 a literal run of the next c bytes; 128..255 a repeat run in which the
// single next byte stands for 256 - c copies of itself; 0 no further data.
// Runs do not respect column boundaries.

#include <cstddef>
#include <span>
#include <vector>

namespace ravelin::ods {

class RecordImage {
public:
    // Expands the runs of compressed (the record's stored bytes after its
    // header) into at most limit bytes, replacing the previous content; the
    // buffer's storage is reused from record to record. limit is the size the
    // record's format allows (null flags and every column) and is itself
    // capped at kMaxRecordLength. Expansion stops at the limit (a run
    // reaching past it is cut), at a control byte of 0, and at the end of the
    // compressed bytes (a literal run cut by it gives the bytes that are
    // there; a repeat run missing its byte gives nothing). Never reads outside
    // compressed. Yields the number of bytes produced.
    std::size_t Expand(std::span<const std::byte> compressed, std::size_t limit);
    // Expands the runs of a further part of the same record (the continuation
    // of a record stored in fragments) after the bytes already produced,
    // under the limit of the last Expand and with the same stopping rules.
    // Yields the number of bytes this part added.
    std::size_t Append(std::span<const std::byte> compressed);

    // Turns the data into an older version's: differences is a decompressed
    // difference string (ods/constants.h) over the current bytes. The result
    // holds length bytes (the older version's format; cut, or filled with
    // zeros); replaced bytes past that end are dropped. Yields false, leaving
    // the data as it was, when the string is malformed: a control announces
    // more bytes than follow it.
    bool ApplyDifferences(std::span<const std::byte> differences, std::size_t length);

    std::span<const std::byte> bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    // The runs produced every byte the limit asked for.
    bool complete() const { return bytes_.size() == limit_; }
    // The runs of the last part expanded reached past the limit: a run was
    // cut by it, or stored runs were left after it. A record whose stored
    // bytes fit its format ends its runs exactly at the limit.
    bool overran() const { return overran_; }

    // The bytes [offset, offset + length) as far as the runs produced them:
    // shorter than length when the record ends inside that range, empty when
    // it ends before offset.
    std::span<const std::byte> Field(std::size_t offset, std::size_t length) const;

private:
    std::vector<std::byte> bytes_;
    std::size_t limit_ = 0;
    bool overran_ = false;
};

}  // namespace ravelin::ods

#pragma once

// On-disk constants of the InterBase page and record structures that the
// reader relies on. All multi-byte values in the file are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>

namespace ravelin::ods {

// Every page: byte 0 is the page type, byte 1 page flags, bytes 2..3 the
// checksum word, which real files always hold as 12345.
inline constexpr std::uint16_t kPageChecksum = 12345;
inline constexpr std::uint32_t kChecksumOffset = 2;

// Page types the scan files.
inline constexpr std::uint8_t kHeaderPage = 1;
inline constexpr std::uint8_t kTransactionPage = 3;  // transaction inventory: the state of every transaction
inline constexpr std::uint8_t kPointerPage = 4;
inline constexpr std::uint8_t kDataPage = 5;
inline constexpr std::uint8_t kBlobIndexPage = 11;
// Generator page: its sequence at 16, then the generators' 64-bit values
// from 32, one per generator id (the page of sequence s holds the ids from
// s * (page size - 32) / 8 on).
inline constexpr std::uint8_t kGeneratorPage = 9;
inline constexpr std::uint32_t kGeneratorSequenceOffset = 16;
inline constexpr std::uint32_t kGeneratorValuesOffset = 32;
inline constexpr std::uint8_t kType12Page = 12;

// Page sizes probed by the page-size detection, smallest first.
inline constexpr std::array<std::uint32_t, 5> kPageSizeCandidates = {1024, 2048, 4096, 8192, 16384};

// Pages 0..79 hold only system bookkeeping in an intact file; the catalogue
// readers take their pages from here on.
inline constexpr std::uint32_t kFirstScannedPage = 80;
// The page scan looks for the pages of user tables and of the record
// formats from page 1 on (page 0 is the header page).
inline constexpr std::uint32_t kFirstPageOfUserTables = 1;

// Data page (type 5) and type-12 page layout.
inline constexpr std::uint32_t kDataPageRelationOffset = 20;  // 2 bytes: relation id
inline constexpr std::uint32_t kDataPageSlotCountOffset = 22;  // 2 bytes: number of slots
inline constexpr std::uint32_t kDataPageSlotArrayOffset = 24;  // 4 bytes per slot
inline constexpr std::uint32_t kSlotSize = 4;                  // 2 bytes offset, 2 bytes length

// Pointer page (type 4) and blob index page (type 11) layout.
inline constexpr std::uint32_t kPointerPageCountOffset = 24;     // 2 bytes: number of entries
inline constexpr std::uint32_t kPointerPageRelationOffset = 26;  // 2 bytes: relation id
inline constexpr std::uint32_t kPointerPageEntriesOffset = 32;   // 4 bytes per data page number

// Blob index page (type 11): laid out like a pointer page (entry count at
// 24, relation id at 26, entries from 32). ODS 13 entries are 8-byte page
// numbers; ODS 15/16 files hold 4-byte page numbers there (and at 28 the
// highest sequence number of the pages listed).
inline constexpr std::uint32_t kBlobIndexEntriesOffset = 32;

// Page sequence number of a data page (type 5) or blob header page (type 12):
// the page's place among its relation's pages of that kind.
inline constexpr std::uint32_t kPageSequenceOffset = 16;  // 4 bytes

// Blob page (type 8): one stretch of a blob's stored bytes.
inline constexpr std::uint8_t kBlobPage = 8;
inline constexpr std::uint32_t kBlobPageLeadOffset = 16;      // 4 bytes: the blob's lead page
inline constexpr std::uint32_t kBlobPageSequenceOffset = 20;  // 4 bytes: place of the page in the blob, from 0
inline constexpr std::uint32_t kBlobPageLengthOffset = 24;    // 4 bytes: bytes used from offset 28
inline constexpr std::uint32_t kBlobPageDataOffset = 28;

// Blob header record: a record of the blob's relation, on its blob header
// pages (type 12, ODS 15/16) or on its data pages (ODS 13, system relations),
// stored without compression. Offsets from the record's first byte.
inline constexpr std::uint32_t kBlobLeadPageOffset = 0;      // 4 bytes: first blob page; 0 inside the record
inline constexpr std::uint32_t kBlobMaxSequenceOffset = 4;   // 4 bytes: blob pages - 1
inline constexpr std::uint32_t kBlobMaxSegmentOffset = 8;    // 2 bytes: longest segment
inline constexpr std::uint32_t kBlobFlagsOffset = 10;        // 1 byte: the record flags
inline constexpr std::uint32_t kBlobLevelOffset = 12;        // 1 byte: 0 data here, 1 page numbers, 2 pointer pages
inline constexpr std::uint32_t kBlobSegmentCountOffset = 16;  // 4 bytes
inline constexpr std::uint32_t kBlobLengthOffset = 20;       // 4 bytes: data bytes, segment lengths not counted
inline constexpr std::uint32_t kBlobDataOffset = 28;         // data (level 0) or 4-byte page numbers
// Flag bits of a blob header record (byte 10).
inline constexpr std::uint8_t kFlagBlob = 0x10;        // the record is a blob header
inline constexpr std::uint8_t kFlagStreamBlob = 0x20;  // no segment lengths: the bytes are the data
inline constexpr std::uint8_t kFlagLargeBlob = 0x40;   // the data lies on blob pages
// Record numbers: a record's number is its page's sequence times the
// records a page is numbered for, plus its slot. Data pages are numbered for
// (page size - 24) / 39 records (25 at 1024 bytes, 104 at 4096, 209 at 8192).
inline constexpr std::uint32_t kRecordNumberDivisor = 39;

// Record header, offsets from the first byte of the record.
inline constexpr std::uint32_t kRecordTransactionOffset = 0;  // 4 bytes
inline constexpr std::uint32_t kRecordBackPageOffset = 4;     // 4 bytes
inline constexpr std::uint32_t kRecordBackLineOffset = 8;     // 2 bytes
inline constexpr std::uint32_t kRecordFlagsOffset = 10;       // 1 byte: the flags the walks test
inline constexpr std::uint32_t kRecordFlags2Offset = 11;      // 1 byte: 0 in ODS 13, 0x20/0x10/0x02 in ODS 16
inline constexpr std::uint32_t kRecordFormatOffset = 12;      // 1 byte: format version
inline constexpr std::uint32_t kRecordDataOffset = 13;        // compressed data of an unflagged record
inline constexpr std::uint32_t kRecordForwardPageOffset = 16;  // 4 bytes, flagged records
inline constexpr std::uint32_t kRecordForwardLineOffset = 20;  // 2 bytes, flagged records
inline constexpr std::uint32_t kFlaggedRecordDataOffset = 22;  // compressed data of a flagged record

// Record flags: header bytes 10 (low) and 11 (high) form a 16-bit word. What
// each bit means was read off the records of real files (the versions of
// rows that were inserted, updated and deleted):
//   0x0001  deletion stub: the newest version of a deleted row. The header
//           alone (13 bytes); its back page and line name the row's last
//           version, its transaction is the one that deleted the row.
//   0x0002  old version: a version behind a newer one, reached only through
//           a back pointer; never a row of its own.
//   0x0004  continuation fragment: the rest of a record stored in parts.
//   0x0008  first fragment: forward page at 16 and line at 20, data at 22.
//   0x0010  blob header record (stored uncompressed).
//   0x0020  the version behind this one holds differences only: its data,
//           once decompressed, is a difference string that turns this
//           version's data into the older one.
//   0x0040  a blob whose data lies on blob pages.
//   0x0200  met on old versions only (a deleted row's last version, older
//           catalogue records); reading does not depend on it.
//   0x1000  a change mask: an old version that keeps only which fields its
//           transaction changed (stored as one literal run: a byte count,
//           then one bit per field), not their old values. ODS 16 files
//           keep these behind updated rows; such a version cannot be read
//           back as a row.
//   0x2000  set on most records of ODS 16 files, current and old alike;
//           reading does not depend on it.
// Byte 10 (low byte):
inline constexpr std::uint8_t kFlagPlain = 0;
inline constexpr std::uint8_t kFlagDeleted = 0x01;
inline constexpr std::uint8_t kFlagOldVersion = 0x02;
inline constexpr std::uint8_t kFlagContinuation = 0x04;
inline constexpr std::uint8_t kFlagFirstFragment = 0x08;
inline constexpr std::uint8_t kFlagBlobRecord = 0x10;
inline constexpr std::uint8_t kFlagDeltaBackVersion = 0x20;
// Byte 11 (high byte):
inline constexpr std::uint8_t kFlag2ChangeMask = 0x10;

// Difference strings (an old version behind a record flagged 0x0020, after
// decompression): a sequence of signed control bytes n over the newer
// version's data, from its first byte: n > 0 replaces the next n bytes with
// the n bytes that follow the control, n < 0 keeps the next -n bytes, 0 adds
// nothing. Bytes after the last control stay as the newer version has them.

// Transaction inventory pages (type 3): at 16 the next inventory page (0 for
// the last), from 20 two bits per transaction, transaction 0 in the lowest
// bits of byte 20. The pages form one chain that numbers the transactions
// from 0 on, (page size - 20) * 4 per page.
inline constexpr std::uint32_t kTransactionNextPageOffset = 16;
inline constexpr std::uint32_t kTransactionStatesOffset = 20;
inline constexpr std::uint8_t kTransactionActive = 0;     // running, or never ended
inline constexpr std::uint8_t kTransactionLimbo = 1;      // prepared, neither committed nor rolled back
inline constexpr std::uint8_t kTransactionDead = 2;       // rolled back
inline constexpr std::uint8_t kTransactionCommitted = 3;

// Header page (page 0, type 1): page size at 16, ODS version at 18 (13, 15,
// 16 in the files this reader knows), and the number of the newest
// transaction started: 32 bits at 36 in ODS 13 and 15, 64 bits at 40 in
// ODS 16.
inline constexpr std::uint32_t kHeaderPageSizeOffset = 16;
inline constexpr std::uint32_t kHeaderOdsVersionOffset = 18;
inline constexpr std::uint32_t kHeaderNewestTransactionOffset = 36;
inline constexpr std::uint32_t kHeaderNewestTransactionOffsetOds16 = 40;
inline constexpr std::uint16_t kOdsVersion16 = 16;

// A continuation fragment: header of 13 bytes, its compressed data from 13.
inline constexpr std::uint32_t kContinuationDataOffset = 13;

// System relation ids the reader looks for.
inline constexpr std::uint32_t kRelFields = 2;           // field definitions and domains
inline constexpr std::uint32_t kRelIndexSegments = 3;
inline constexpr std::uint32_t kRelIndices = 4;
inline constexpr std::uint32_t kRelRelationFields = 5;
inline constexpr std::uint32_t kRelRelations = 6;
inline constexpr std::uint32_t kRelSeven = 7;
inline constexpr std::uint32_t kRelFormats = 8;          // record formats: one per relation and format number
inline constexpr std::uint32_t kRelTwelve = 12;          // triggers (their sources on type-12 pages)
inline constexpr std::uint32_t kRelRelationConstraints = 22;
inline constexpr std::uint32_t kRelGenerators = 20;       // generator names and ids
inline constexpr std::uint32_t kRelFieldDimensions = 21;  // the bounds of array fields, one record per dimension
inline constexpr std::uint32_t kRelProcedures = 26;       // stored procedures (their sources on type-12 pages)
inline constexpr std::uint32_t kRelProcedureParameters = 27;
inline constexpr std::uint32_t kRelExceptions = 30;
inline constexpr std::uint32_t kFirstUserRelation = 128;

// Width of a name field in the system relations (characters).
inline constexpr std::uint32_t kNameFieldWidth = 67;

// Field-definition records (relation 2), decompressed layout. The record
// opens with its null-flag bytes: 4 in older files, 8 in newer ones (the
// second four are a zero run when the fields they cover are all present).
// The field name (67) is followed by the query name (67): absent (zeros) in
// older files, blank in newer ones. After the query name, aligned to 4 bytes,
// come six 8-byte blob ids (validation, computed and default texts), then the
// 16-bit field length, scale, type and sub-type.
inline constexpr std::uint32_t kFieldNullFlagBytes = 4;
inline constexpr std::uint32_t kFieldNameAndQueryNameWidth = 2 * kNameFieldWidth;  // 134
inline constexpr std::uint32_t kFieldBlobIdsBeforeLength = 6 * 8;
// Zero bytes between the field type and the character length of an intact
// CHAR or VARCHAR definition (sub-type, missing value, ..., dimensions).
inline constexpr std::uint32_t kZerosBeforeCharacterLength = 179;
// The 16-bit dimension count of an array definition (0 for every other
// field) lies this many bytes after the field length, in older and newer
// files alike; its null-flag bit is that of the record's 23rd field.
inline constexpr std::uint32_t kFieldDimensionsAfterLength = 180;
inline constexpr std::uint32_t kFieldDimensionsFieldNumber = 22;
// The 16-bit precision of a scaled number, likewise after the field length.
inline constexpr std::uint32_t kFieldPrecisionAfterLength = 190;
// Field type of a blob definition (16-bit).
inline constexpr std::uint16_t kBlobFieldType = 261;
// Format version of field-definition records: 0 in older files, 1 in newer
// ones (the relation gained fields).
inline constexpr std::uint8_t kNewestFieldRecordFormat = 1;

// Stored values of user columns.
inline constexpr std::int64_t kDayNumberOf18991230 = 15018;   // DATE: days counted from 17 November 1858 (day 0)
inline constexpr std::uint32_t kTimeUnitsPerSecond = 10000;   // TIME: 1/10000 second since midnight
inline constexpr std::size_t kMaxRecordLength = 65535;        // decompressed data of one record, at most

// Relation-fields record (relation 5), offsets in its decompressed data from
// the first null-flag byte. The same in the ODS 13, 15 and 16 files read so
// far (ODS 16 records carry 2 more bytes at the end).
inline constexpr std::uint32_t kRfNullFlagsLength = 4;         // null-flag bytes before the first field
inline constexpr std::uint32_t kRfFieldNameOffset = 4;         // 67 bytes, blank-padded
inline constexpr std::uint32_t kRfRelationNameOffset = 71;     // 67 bytes
inline constexpr std::uint32_t kRfFieldSourceOffset = 138;     // 67 bytes
inline constexpr std::uint32_t kRfBaseFieldOffset = 272;       // 67 bytes: the base column of a view column
inline constexpr std::uint32_t kRfFieldPositionOffset = 468;   // 2 bytes: declared position, 0-based
inline constexpr std::uint32_t kRfFieldIdOffset = 482;         // 2 bytes: place in the stored record format
inline constexpr std::uint32_t kRfDefaultValueOffset = 496;    // 8 bytes: blob id, relation id first (5)
inline constexpr std::uint32_t kRfNullFlagOffset = 640;        // 2 bytes: 1 for NOT NULL
inline constexpr std::uint32_t kRfDefaultSourceOffset = 644;   // 8 bytes: blob id, record number at +4
inline constexpr std::uint32_t kBlobRecordNumberOffset = 4;    // within a blob id
inline constexpr std::uint32_t kRfRecordLength = 672;          // whole decompressed record, ODS 13 and 15
inline constexpr std::uint32_t kRfRecordLengthOds16 = 674;
// First null-flag byte of a view column's record (the base field is set).
inline constexpr std::uint8_t kViewColumnNullFlags = 0xA8;
// First control byte of a record whose literal run holds a whole unpadded name.
inline constexpr std::uint8_t kLongNameRun = 72;

// Page inventory pages (type 2): one bit per page from offset 20, page 0
// of the inventory's range in the lowest bit of byte 20; a set bit marks a
// free page. The first inventory page is page 1 and covers pages
// 0 .. (page size - 20) * 8 - 1; the k-th further one stands on the last
// page of the range before its own, page k * (page size - 20) * 8 - 1.
inline constexpr std::uint8_t kPageInventoryPage = 2;
inline constexpr std::uint32_t kFirstPageInventoryPage = 1;
inline constexpr std::uint32_t kPageInventoryBitsOffset = 20;

// Pointer page (type 4): at 16 its own sequence among the relation's pointer
// pages (4 bytes). Entry i of pointer page s lists the data page of
// sequence s * (data pages per pointer page) + i, the data page holding
// that number at kPageSequenceOffset. A page of (page size - 32) bytes
// holds per data page a 4-byte number and 2 bits of flags.
inline constexpr std::uint32_t kPointerPageSequenceOffset = 16;
inline constexpr std::uint32_t kPointerPageBitsPerEntry = 34;

// Blob records of relation 5 (stored default texts, type-12 pages): offset 8
// a nonzero 16-bit word, 10 a 16-bit count of bytes to skip, then a 16-bit
// text length and the text ("DEFAULT ..." for a default's source).
inline constexpr std::uint32_t kBlobSegmentWordOffset = 8;
inline constexpr std::uint32_t kBlobSkipCountOffset = 10;

}  // namespace ravelin::ods

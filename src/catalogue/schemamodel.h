#pragma once

// The schema model: the in-memory picture of the damaged database's schema,
// rebuilt during a scan from the system relations found in the file. Written
// by the recovery worker during a scan; read by previews, the repair and the
// windows' message handlers (while the worker waits in a send, or no worker
// runs). Plain value records; lists keep the order in which things were met.
//
// Texts are UTF-8. Relation and column names have their blanks replaced by
// "_"; field-source names keep theirs.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ods/recordformat.h"
#include "ods/storedarray.h"

namespace ravelin::catalogue {

// Column type codes (one byte per column).
enum TypeCode : std::uint8_t {
    kTypeNumeric = 1,
    kTypeDecimal = 2,
    kTypeBlob = 5,
    kTypeSmallint = 7,
    kTypeInteger = 8,
    kTypeFloat = 10,
    kTypeDate = 12,
    kTypeTime = 13,
    kTypeChar = 14,
    kTypeBigint = 16,  // a 64-bit integer; NUMERIC(18,s) where it carries a scale
    kTypeBoolean = 17,
    kTypeDouble = 27,
    kTypeTimestamp = 35,
    kTypeVarchar = 37,
};

// One relation found in the relations catalogue.
struct TABLEIDNAME {
    std::string name;
    std::uint32_t relationId = 0;
    std::uint32_t fieldIdCount = 0;
};

// One column of a user table.
struct COLUMN {
    std::string name;
    std::string fieldSource;
    std::uint8_t typeCode = 0;
    std::uint16_t length = 0;
    std::uint8_t hasDefault = 0;
    std::uint8_t notNull = 0;
    std::int32_t position = 0;
    std::string blobSubTypeName;
    std::uint8_t blobSegmentByte = 0;
    std::uint16_t precision = 0;
    std::uint16_t scale = 0;
    std::string typeName;
    // Dimensions of an array column (0: not an array). The record holds an
    // 8-byte array id for such a column, not a value of its element type.
    std::uint16_t dimensions = 0;
    // The column's place in the relation's record formats (its field id);
    // -1 when its column record did not give one.
    std::int32_t fieldId = -1;
    // Character set of a CHAR or VARCHAR column, from the relation's newest
    // record format (ods/recordformat.h); 0 (NONE) when unknown.
    std::uint8_t characterSet = 0;
};

// One user-defined field definition (domain) whose name does not begin with "RDB$".
struct COLDOMAIN {
    std::string name;
    std::uint8_t typeCode = 0;
    std::uint16_t length = 0;
    std::string typeName;
    std::uint8_t flag = 0;
    // Carried to every column of the domain as well, so that all of them
    // keep the domain's NUMERIC/DECIMAL size and blob sub-type.
    std::uint16_t precision = 0;
    std::uint16_t scale = 0;
    std::string blobSubTypeName;
    std::uint8_t blobSegmentByte = 0;
    std::uint16_t dimensions = 0;
};

// Links a column (by name) to its default text in defaultTexts.
struct COLIDANDDEFINDEX {
    std::string name;
    std::uint16_t defaultIndex = 0;
};
using VIEWCOLIDANDDEFINDEX = COLIDANDDEFINDEX;

// A NOT NULL marker for the column with this field source.
struct SPLITCOLIDWITHNULL {
    std::string fieldSource;
    std::uint8_t notNull = 0;
};

// One column of a view.
struct VIEWCOLUMN {
    std::string columnName;
    std::string fieldSource;
    std::string sourceText;
    std::uint16_t position = 0;
};

// One generator (sequence) of the generators catalogue.
struct GENERATOR {
    std::string name;
    std::uint16_t id = 0;
    bool system = false;  // one of the server's own (RDB$..., SQL$...)
};

// One user trigger of the triggers catalogue. A CHECK constraint is kept as
// the triggers that enforce it: their source reads "CHECK (...)".
struct TRIGGER {
    std::string name;
    std::string relationName;
    std::uint16_t sequence = 0;
    std::uint16_t type = 0;  // 1/2 before/after insert, 3/4 update, 5/6 delete; others combine actions
    bool inactive = false;
    std::string source;  // the stored source text; empty when it could not be read
};

// One parameter of a stored procedure: its type is that of its field
// source (SchemaModel::fieldTypes).
struct PROCEDUREPARAMETER {
    std::string name;
    std::string procedureName;
    std::uint16_t number = 0;
    bool output = false;
    std::string fieldSource;
};

// One user exception (raised by procedures and triggers): name and message.
struct EXCEPTION {
    std::string name;
    std::string message;
};

// One stored procedure: its name and its stored source (what follows AS).
struct PROCEDURE {
    std::string name;
    std::string source;  // empty when it could not be read
};

// One row of the relation-constraints catalogue.
struct KEYSCONTRAINTS {
    std::string constraintType;
    std::string constraintName;
    std::string relationName;
    std::string indexName;
};

// One key or constraint attached to one column (derived before a table is written).
struct COLKEYCONSNAME {
    std::string columnName;
    std::string relationName;
    std::string constraintName;
    std::string constraintType;
};

// One entry of the preview's page positions.
struct RECORDPOSCOUNT {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
};

struct TableNode {
    std::string name;
    std::uint32_t relationId = 0;
    std::uint32_t fieldIdCount = 0;
    std::vector<COLUMN> columns;
};

struct ViewNode {
    std::string name;
    std::vector<VIEWCOLUMN> columns;
};

struct IndexNode {
    std::string name;
    std::string relationName;
    std::string foreignKey;
    std::vector<std::string> segments;
    // From the index record's fixed fields, when its whole record could be
    // read (attributesRead): unique keys, descending order, inactive.
    bool attributesRead = false;
    bool unique = false;
    bool descending = false;
    bool inactive = false;
};

// Characters a CHAR or VARCHAR column holds: its length in bytes divided by
// the bytes one character of its set takes (UTF8 4, UNICODE_FSS 3, a
// single-byte set 1).
std::uint16_t CharacterLength(const COLUMN& column);
// The column's texts are stored as UTF-8 (character set UTF8 or UNICODE_FSS).
bool HoldsUtf8Text(const COLUMN& column);

// Whole-string comparison without regard to ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

class SchemaModel {
public:
    // Record formats by relation id, each relation's in increasing format
    // number (from the formats catalogue, relation 8).
    std::map<std::uint32_t, std::vector<ods::RecordFormat>> recordFormats;

    std::vector<TABLEIDNAME> relations;
    std::vector<TableNode> tables;
    std::vector<ViewNode> views;
    // A view's stored source, by view name: the query its CREATE VIEW
    // gave after AS (from the relations catalogue's source blob).
    std::map<std::string, std::string> viewSources;
    // Field definitions by name (field sources): those of computed columns
    // (with their stored source, "(expression)", where it could be read)
    // and those declared NOT NULL themselves (a domain's NOT NULL binds
    // every column of it).
    std::set<std::string> computedFields;
    std::map<std::string, std::string> computedSources;
    std::set<std::string> notNullFields;
    // The stored sources of user domains, by domain name: "CHECK (…)" and
    // "DEFAULT …", where they could be read.
    std::map<std::string, std::string> domainChecks;
    std::map<std::string, std::string> domainDefaults;
    std::vector<IndexNode> indices;
    std::vector<COLDOMAIN> domains;
    std::vector<std::string> defaultTexts;
    std::vector<COLIDANDDEFINDEX> columnDefaults;
    std::vector<VIEWCOLIDANDDEFINDEX> viewColumnDefaults;
    std::vector<SPLITCOLIDWITHNULL> notNullSources;
    std::vector<KEYSCONTRAINTS> keyConstraints;
    std::vector<GENERATOR> generators;
    std::vector<TRIGGER> triggers;
    std::vector<PROCEDURE> procedures;
    std::vector<EXCEPTION> exceptions;
    std::vector<PROCEDUREPARAMETER> procedureParameters;
    // Every field definition's type, by field name (the type members of
    // COLUMN; name is the field's name).
    std::map<std::string, COLUMN> fieldTypes;
    // The bounds of array fields, by field name, one per dimension in
    // dimension order (from the field-dimensions catalogue).
    std::map<std::string, std::vector<ods::ArrayBound>> fieldBounds;
    std::map<std::uint32_t, std::int64_t> generatorValues;  // by generator id, from the generator pages
    std::vector<COLKEYCONSNAME> columnKeys;
    std::vector<std::string> pendingSources;

    // Empties every array and list.
    void ResetSchemaModel();

    // Appends the column to the table node named relationName (exact match),
    // creating the node on the relation's first column with relationId and
    // fieldIdCount of the first TABLEIDNAME of that name. Yields false when a
    // node was created for a relation that no TABLEIDNAME names (its
    // relationId is then 0), so the caller can log it.
    bool AddColumn(const std::string& relationName, const COLUMN& column);
    // Appends the view column to the view node of that name (exact), creating it.
    void AddViewColumn(const std::string& viewName, const VIEWCOLUMN& column);
    // Appends the segment to the index node of that name (exact), creating it.
    void AddIndexSegment(const std::string& indexName, const std::string& columnName);

    // Lookups by exact name; null when absent. Pointers are valid until the
    // next append to the same list.
    TableNode* FindTable(std::string_view name);
    const TableNode* FindTable(std::string_view name) const;
    ViewNode* FindView(std::string_view name);
    IndexNode* FindIndex(std::string_view name);
    const TABLEIDNAME* FindRelation(std::string_view name) const;
    // The format of relationId numbered number; null when the file holds none.
    const ods::RecordFormat* FindRecordFormat(std::uint32_t relationId, std::uint16_t number) const;
    // The relation's format of the highest number; null when it has none.
    const ods::RecordFormat* NewestRecordFormat(std::uint32_t relationId) const;
};

}  // namespace ravelin::catalogue

#pragma once

// The schema command of ravelin-cli: runs one scan job (without counting the
// records) and prints the schema model it rebuilt, as text for people or as
// JSON for programs.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "catalogue/schemamodel.h"

namespace ravelin::cli {

struct SchemaOptions {
    std::string file;   // the database file to scan
    bool json = false;  // print JSON instead of text
};

// The SQL type of a column as a person reads it: VARCHAR(15),
// NUMERIC(15,2), BLOB SUB_TYPE TEXT, INTEGER, ... (a blob's segment byte is
// only the low byte of its segment length, so the text leaves it out). A
// type code without a type word shows as "(type N)", an unresolved one (code
// 0) as "(type unknown)".
std::string SqlTypeText(const catalogue::COLUMN& column);
std::string SqlTypeText(const catalogue::COLDOMAIN& domain);

// The default text of a column through columnDefaults and defaultTexts:
// nullopt when the column has no default, when no link names its field
// source, when the link's index lies outside defaultTexts, or when the text
// it selects is blank (the place of a stored text that is no default).
std::optional<std::string> ColumnDefaultText(const catalogue::SchemaModel& model, const catalogue::COLUMN& column);

// The model as JSON (two-space indent, keys in the order below):
// {"page_size", "tables":[{"name","relation_id","columns":[{"name",
// "field_source","type","type_code","length","precision","scale","not_null",
// "has_default","default","position","blob_sub_type","segment"}],
// "keys":[{"column","type","constraint"}]}], "views":[{"name","columns":
// [{"name","field_source"}]}], "indices":[{"name","relation","segments":[],
// "foreign_key"}], "constraints":[{"type","name","relation","index"}],
// "domains":[{"name","type","length"}]}. "default", "blob_sub_type" and
// "foreign_key" are null when absent; "keys" are those DeriveColumnKeys
// gives for the table. Texts that are not valid UTF-8 have the bad bytes
// replaced by U+FFFD.
std::string SchemaJson(const catalogue::SchemaModel& model, std::uint32_t pageSize);
// The same model as text for people: one block per table, then the views,
// indices, constraints and domains.
std::string SchemaText(const catalogue::SchemaModel& model, std::uint32_t pageSize);

// Scans options.file with the code page already configured and prints the
// schema to out; error messages (an invalid file, a file in use, a failed
// job) go to err, and so does the progress bar when showProgress is set.
// Yields the process exit code (cli/scancommand.h); out receives the schema
// only when the scan completed.
int RunSchemaCommand(const SchemaOptions& options, std::ostream& out, std::ostream& err, bool showProgress);

}  // namespace ravelin::cli

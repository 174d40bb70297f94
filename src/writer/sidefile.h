#pragma once

// The text files beside the target database that keep the CREATE VIEW and
// CREATE INDEX statements of a repair: UTF-16LE without a byte-order mark,
// each statement followed by ";" and CR LF CR LF.

#include <string>

namespace ravelin::writer {

enum class SideFileKind { Views = 20, Indices = 21 };

// The side file's path: the target path with "Views.txt" or "Indices.txt"
// appended directly (blank.fdb gives blank.fdbViews.txt). A server path
// ("host:/data/blank.fdb") loses its server part: the side files are
// written on this machine, at the file path the server uses.
std::string SideFilePath(const std::string& targetPath, SideFileKind kind);

// Creates the file when it does not exist; an existing file is kept as it
// is. Yields true when the file exists afterwards.
bool CreateSideFile(const std::string& path, SideFileKind kind);

// Appends statement, ";" and CR LF CR LF as UTF-16LE to the end of an
// existing file; a file that cannot be opened receives nothing. Yields
// whether everything was written.
bool AppendToSideFile(const std::string& statement, const std::string& path);

}  // namespace ravelin::writer

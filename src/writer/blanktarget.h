#pragma once

// A new, empty target database for a repair, for users who have no blank
// database at hand.

#include <string>

#include "writer/targetdatabase.h"

namespace ravelin::writer {

// Creates the database login.targetPath names (a local file through the
// embedded engine, or "host:path" on a server) with the account given, in
// SQL dialect 3 with 8192-byte pages, and detaches again. A local file that
// already exists is never touched. Yields an empty text on success,
// otherwise the reason in words.
std::string CreateBlankTarget(const TargetLogin& login);

}  // namespace ravelin::writer

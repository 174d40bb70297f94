#pragma once

// Creates a new, empty target database for a repair through the Firebird
// client library, for users who have no blank database at hand.

#include <QString>

namespace ravelin::ui {

// Creates the database file at path (which must not exist yet) with the
// account given, and detaches again. Yields an empty text on success,
// otherwise the reason in words.
QString CreateBlankDatabase(const QString& path, const QString& userName, const QString& password);

}  // namespace ravelin::ui

#pragma once

#include <QString>

class ProgramFolder;
class QMdiArea;

// The address history as the main window deals with it: where it is kept, and deleting it.
namespace addresshistory {

// Where the address history goes when not beside the program, for the status bar;
// empty when beside it or already said this run.
QString notice(const ProgramFolder &folder);

// Empties the history file and the list of addresses of every document window in the
// area. False, told once in the log, when the file could not be emptied.
bool clear(const ProgramFolder &folder, const QMdiArea &area);

} // namespace addresshistory

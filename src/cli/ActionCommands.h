// The file actions of corvane-cli: delete, move and undo on the same engine
// and undo journal as the window. The caller has started the engine up
// (tables open). Each prints what it did on standard output and every
// failure with its reason on standard error, and returns the exit status:
// 0 done, 1 an action failed or was refused (nothing changed for it).
#pragma once

#include <string>
#include <vector>

#include "scan/Engine.h"
#include "util/SafeFiles.h"

namespace corvane {

// Each file to the trash (Permanent: for good), with its records. A file no
// trash can take stays where it is.
int RunDeleteCommand(TCorvaneEngine& engine, TTrashCan& trash,
                     const std::vector<std::string>& files, bool permanent);

// Source to Destination (a folder: into it); another file there is replaced
// only with Replace, and then goes to the trash (Permanent: for good).
int RunMoveCommand(TCorvaneEngine& engine, TTrashCan& trash, const std::string& source,
                   const std::string& destination, bool replace, bool permanent);

// Undoes the newest delete or move of the journal.
int RunUndoCommand(TCorvaneEngine& engine, TTrashCan& trash);

class TCommandLine;
// delete FILE... [--permanent], move FILE DEST [--replace] [--permanent], undo.
void RegisterActionCommands(TCommandLine& commandLine);

}  // namespace corvane

// Where Tablor keeps its own files.
//
// ProgramDir is the folder of the program file when the user may write to it (a portable copy,
// the build tree), otherwise the per-user data folder $XDG_DATA_HOME/Tablor/ (by default
// ~/.local/share/Tablor/), created when first needed. It holds server.dat and the local Access
// files generated for profiles without a path. Read-only files that ship with the program
// (help) are looked up beside the program first, then in the install's share folder.
#pragma once

#include <QString>

namespace tablor {

// The folder, always ending in '/'.
QString ProgramDir();

// Makes ProgramDir() return `dir` (a trailing '/' is added) until reset with an empty string.
// For tests and for tools that work on another folder.
void setProgramDirOverride(const QString& dir);

// The folder of the running program file, ending in '/'.
QString programFileDir();

// `programFolder` (with '/') when the user may write to it, otherwise userDataDir().
QString chooseProgramDir(const QString& programFolder);

// $XDG_DATA_HOME/Tablor/, or ~/.local/share/Tablor/ when the variable is unset or not an
// absolute path; created when missing.
QString userDataDir();

// The path of a read-only program file `name`: beside the program if it is there, otherwise
// in the install's share folder (the latter path is returned even when it does not exist).
QString findProgramFile(const QString& name);

} // namespace tablor

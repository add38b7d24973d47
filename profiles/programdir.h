// Where Tablor keeps its own files.
//
// ProgramDir is the folder of the program file when the user may write to it (a portable copy,
// the build tree), otherwise the per-user data folder $XDG_DATA_HOME/Tablor/ (by default
// ~/.local/share/Tablor/), created when first needed. An installed program (`<prefix>/bin/`
// with `<prefix>/share/tablor/` beside it) always takes the user data folder, even when its
// folder is writable (root, an unpacked package). ProgramDir holds server.dat and the local
// Access files generated for profiles without a path. Read-only files that ship with the
// program (help) are looked up beside the program first, then in the install's share folder.
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

// userDataDir() for an installed program (installedShareDir is not empty), otherwise
// `programFolder` (with '/') when the user may write to it, otherwise userDataDir().
QString chooseProgramDir(const QString& programFolder);

// `<prefix>/share/tablor/` when `programFolder` is `<prefix>/bin` and that folder exists,
// otherwise empty (the build tree, a portable copy).
QString installedShareDir(const QString& programFolder);

// The share folder of the running program: installedShareDir(programFileDir()), or the one the
// build was configured for when the program is not installed.
QString programShareDir();

// $XDG_DATA_HOME/Tablor/, or ~/.local/share/Tablor/ when the variable is unset or not an
// absolute path; created when missing.
QString userDataDir();

// The path of a read-only program file `name`: beside the program if it is there, otherwise
// in programShareDir() (the latter path is returned even when it does not exist).
QString findProgramFile(const QString& name);

} // namespace tablor

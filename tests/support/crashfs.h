#pragma once

// A file system that ends the process at its N-th sync or deletion: the files
// are left exactly as a crash at that step would leave them. Used by the
// child processes of the kill tests.
namespace crash {
// Becomes the default file system of the process; kills at the `at`-th step
// once armed (never when 0).
void install(int at);
extern bool armed;
// Steps counted since arming.
extern int steps;
// Journals of table files deleted without syncing the folder: after a power
// cut the deletion, and so the commit, may be undone.
extern int unsyncedDeletes;
// While set, every b-tree leaf page of two or more entries written to one of
// the program's temporary table files loses its last entry, leaving the file
// consistent: a copy that silently falls short, which only a count shows.
extern bool shortCopies;
// The file system in place before install() becomes the default again;
// connections opened meanwhile keep working through this one.
void uninstall();
} // namespace crash

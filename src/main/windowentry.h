#pragma once

// The window part of the program is a module of its own, loaded only when the
// window opens: the modes that print and exit never load the GUI libraries.
// Its one exported function opens the main window in the working directory
// (the data folder, entered by the caller) and returns the exit code.
#define DS_WINDOW_ENTRY "duesmith_window"
using WindowEntry = int (*)(int argc, char **argv);

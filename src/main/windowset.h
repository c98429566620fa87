#pragma once

// Creates every window once, in the program's fixed order, the main window
// first, and sets their global references.
void createAllWindows();
// Destroys them again (the end of a run, or of a test).
void destroyAllWindows();

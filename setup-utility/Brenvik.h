// Brenvik, the OPOS setup utility: what the program's parts share.
#pragma once

#include <windows.h>

// Creates, shows and runs the main frame on the calling thread (COM and the common controls
// prepared). The message loop's exit code: 1 after the frame was closed; 0 when the frame
// could not be created.
int RunMainWindow(LPWSTR commandLine, int show);

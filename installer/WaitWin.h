// The busy animation: a second user-interface thread owning a small window that paints an
// eight-spoke spinner with GDI+. The window is created hidden over the owner dialog; nothing
// shows it or starts its timer, so it stays out of sight while the program runs.
#pragma once

#include <windows.h>

// Starts GDI+ and the thread, once; owner is the main dialog. Nothing is started when GDI+
// cannot be started.
void StartWaitThread(HWND owner);

// For tests: the spinner window (null until the thread has made it) and its step counter.
HWND WaitWindow();
int WaitStep();

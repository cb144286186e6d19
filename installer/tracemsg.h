// The installer's debug trace: lines for the debugger output, nothing in a file.
#pragma once

// Formats into 200 characters; a message that does not fit whole (199 characters and the
// terminator) is dropped entirely rather than cut. String arguments are wide: use %ls.
void TraceMsg(const wchar_t *format, ...);

// Where formatted lines go. The default sends them to the debugger output (Win32) or to
// standard error (native builds); tests install their own to read them back.
typedef void (*TraceSink)(const wchar_t *line);
// Returns the sink that was in place; null restores the default.
TraceSink SetTraceSink(TraceSink sink);

// The platform's default sink.
void TraceToDebugger(const wchar_t *line);

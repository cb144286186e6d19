// Counts this process's open handles. GetProcessHandleCount reports 0 under Wine, so the count
// comes from the system handle table.
#pragma once

#include <cstddef>

// Returns the number of handles this process holds, or -1 if the table cannot be read.
long CountProcessHandles();

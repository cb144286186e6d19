// Turns ESC/POS bytes back into a readable receipt: text lines with marks for the commands
// that shape them. For the demo and for reading test failures; platform-free.
#pragma once

#include <string>

// Each printed line becomes one output line; commands appear as [marks] where they occur,
// for example "[center][bold]TOTAL 12.00" or "[barcode CODE39 \"12345\"]" or "[cut]".
std::string DecodeEscPos(const std::string &bytes);

#pragma once
// Whether Qt will find a display to open. Qt gives up with an abort when its
// platform plugin cannot connect, so the window module asks first.
#include <string>

// Empty when a window can be opened; otherwise one line saying why not.
std::string WhyNoDisplay();

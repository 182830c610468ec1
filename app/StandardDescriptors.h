#pragma once
// Standard input, output and error that the caller left closed (a desktop
// launcher can start nuvik with "2>&-") would be taken by the next file or
// connection opened, and a warning meant for standard error would go into
// it: the display connection, say, which then hangs the window.

// Opens pszNull (read and write) on descriptors 0 and 2 when closed, and holds
// a closed descriptor 1 with one that can't be written (a write to standard
// output still fails and is reported), lowest first, before anything else
// opens a file. True when all three are open afterwards.
bool OpenClosedStandardDescriptors(const char* pszNull = "/dev/null");

#pragma once
// What a mode printed must reach its stream: a full disk or a closed file is
// reported, not taken for success.
#include <cstdio>

class IMessageBox;

// True when the stream could be flushed and no write to it failed.
bool OutputWritten(std::FILE* pOut);
// nExit when the output was written; otherwise one line saying why, and
// kExitNothingRan.
int FinishOutput(std::FILE* pOut, IMessageBox& messages, int nExit);

#pragma once
// The exit statuses of the process, every mode's.
enum : int {
    kExitOk = 0,          // all asked for was done: sent, up, found
    kExitSomeFailed = 1,  // not all: an argument not valid, a host not found or not
                          // up, a send that failed, a profile with no host
    kExitNothingRan = 2,  // nothing could run: a bad option or value, the socket
                          // layer, an unreadable address book, no window, output
                          // that can't be written
    kExitStopped = 128,   // and the signal's number: 130 Ctrl-C (SIGINT), 143 SIGTERM
};

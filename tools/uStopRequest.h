#pragma once
// How tapdeck-headless learns that it should stop: SIGINT, SIGTERM (or the console's
// break on Windows) or the end of standard input. One implementation per platform.

#include <string>

// Call first in main, before any thread starts, so every thread leaves the stop signals
// to WaitForStopRequest.
void PrepareStopRequest();
// Blocks until a stop signal arrives or standard input ends. Each line that comes on
// standard input before then goes to AOnLine, without its line end, one line at a time on
// a thread of its own, which may still be running when this returns.
void WaitForStopRequest(void (*AOnLine)(const std::string& ALine));

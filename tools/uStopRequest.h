#pragma once
// How tapdeck-headless learns that it should stop: SIGINT, SIGTERM (or the console's
// break on Windows) or the end of standard input. One implementation per platform.

// Call first in main, before any thread starts, so every thread leaves the stop signals
// to WaitForStopRequest.
void PrepareStopRequest();
// Blocks until a stop signal arrives or standard input ends.
void WaitForStopRequest();

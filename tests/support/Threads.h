#pragma once
// What the system tells about this process's threads, for tests that must know that a
// service left no thread behind, or that a thread really waits inside a blocking call.

#include <cstdint>
#include <optional>

// The number of threads of this process, or -1 where the system does not tell.
int ProcessThreadCount();

// The system's id of the calling thread.
std::int64_t CurrentThreadId();
// Whether the thread AThreadId (of this process) sits blocked in a system call other than a
// lock's wait; none where the system does not tell.
std::optional<bool> ThreadBlockedInSystemCall(std::int64_t AThreadId);

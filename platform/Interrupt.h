// The requests to end the program that come from outside — Ctrl+C, Ctrl+Break, a
// closed console window, log-off and system shutdown on Windows; SIGINT, SIGTERM and
// SIGHUP on POSIX — turned into a flag the long waits look at, so that a rebuild
// stops the way a failure does (the database brought back online) rather than being
// cut off where it stands. A closed pipe on stdout or stderr never ends the program
// (SIGPIPE is ignored; the write fails instead).
#pragma once

#include <string>

namespace platform {

// Starts watching. POSIX: call it first in main, before any thread exists: the
// signals are blocked in every thread and taken by one thread of their own, so the
// database client, which would shut its connections down on SIGTERM, never sees
// them. Windows: a console control handler. Safe to call more than once.
void WatchForInterruption();

// Whether an end was asked for, and what asked ("SIGTERM", "CTRL_CLOSE_EVENT", ...).
bool InterruptRequested() noexcept;
std::string InterruptReason();

// Asks for the end from inside the program (the window program when Windows ends
// the session during a run).
void RequestInterruption(const char* reason) noexcept;

// The program has put things right after an interruption and may now be ended: a
// Windows console handler that holds the system's end of the process lets go.
void InterruptionHandled() noexcept;
// Waits at most `milliseconds` for that (Windows; POSIX returns at once).
void WaitUntilInterruptionHandled(unsigned milliseconds) noexcept;

}  // namespace platform

// The runtime's one way to end the process on an unrecoverable condition
// (a system keyboard that cannot be set up, memory for the IME's candidates
// that cannot be had): the message to the log, what the runtime holds given
// back, exit code -1.
#pragma once

// Gives back what the runtime holds: the shutdown core, or during a start-up
// what the start-up brought up. The lifecycle, which knows every subsystem,
// puts its own here when a start-up begins; before that there is nothing to
// give back.
using FatalStopReleaseFunction = void (*)();
extern FatalStopReleaseFunction FatalStopRelease;

// Ends the process with exit code -1 after logging the message and giving
// back what the runtime holds. The caller's hold on the ApiLock is never
// released.
[[noreturn]] void FatalStop(const char* message);
[[noreturn]] void FatalStopFormat(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

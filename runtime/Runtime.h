// The runtime's programming interface: the only header an application includes.
//
// Results are 32-bit signed integers: 0 = success, -1 = failure, unless an
// entry point says otherwise. Texts are Shift-JIS byte strings.
#pragma once

#include <windows.h>

#include <cstdint>

// ---- Lifecycle --------------------------------------------------------------

// Pre-start settings: each stores a value for the next LibraryStartup.
int SetDrawingDisabled(int disabled);   // 1 = no graphics subsystem
int SetHostWindow(HWND window);         // run inside the application's window; -1 when started or null
int ChangeWindowMode(int windowed);     // 1 = windowed, 0 = full screen

// Starts the runtime: 0 = running (or already running), -1 = refused; the
// reason is in the log, and StartupRefusal tells it apart.
int LibraryStartup();
// Why the latest LibraryStartup returned -1, so that an application can tell
// its user: StartupNotRefused when it did not (or before any start-up),
// StartupRefusedAnotherProgramRuns when a window of the runtime's class
// already stands (the game, or another program built on the runtime, is
// running), StartupRefusedOther for every other refusal.
constexpr int StartupNotRefused = 0;
constexpr int StartupRefusedAnotherProgramRuns = 1;
constexpr int StartupRefusedOther = 2;
int StartupRefusal();
// Stops it again; safe before a start and twice. Returns 0.
int LibraryShutdown();
// The per-tick call: 0 = keep running, -1 = the runtime is to end.
int PumpMessages();

// ---- Input ------------------------------------------------------------------

// The PadInputBits of pad 1..16 (bit 12 of the selector adds the keyboard
// keys mapped onto the pad): bit 0 down, 1 left, 2 right, 3 up, bits 4..27
// buttons 1..24.
int ReadPadInput(int selector);

// Finds the joypads again, for a program that learns that devices came or
// went (WM_DEVICECHANGE): the pads found so far are released and the pads
// attached now are numbered 1.. in the order DirectInput reports them. Pads
// are otherwise found once per start. Returns the new pad count; -1 when
// input is not started or runs on the winmm joysticks, which have no
// discovery (every joystick number is read anyway).
int RefreshJoypads();

// The product name of pad 1, the pad ReadPadInput(1) reads, for an
// application that shows which controller it reads: the name DirectInput gave
// at discovery (its instance name where the product name is empty), or in the
// winmm joystick mode the name joyGetDevCapsA gives joystick 0, asked afresh
// at each call. Written into text as Shift-JIS, at most size bytes with the
// terminator, cut on a character boundary. Returns 0; -1, with text "" where
// size allows, when there is no pad 1 (none attached, input not started, a
// winmm joystick 0 that does not answer) or no room for a text.
int GetFirstPadProductName(char* text, int size);

// ---- Random numbers -------------------------------------------------------

// Seeds the process-wide generator (the seed taken as unsigned). Returns 0.
int SeedRandom(int seed);

// A uniform value in 0..max, for max in 0..2147483646. Uses exactly one
// output word of the generator; draws before any seeding act as if seeded
// with 4357.
int RandomUpTo(int max);

// ---- Log ------------------------------------------------------------------

// 0 switches the log file off, anything else on. Read by the next start-up.
// Returns 0.
int SetLogOutput(int enabled);

// Appends a Shift-JIS text to the log (the debugger output alone while the
// runtime runs in an application's window); the caller ends a complete line
// with "\n". Returns -1, the failure value a failing operation can hand on.
int LogWrite(const char* text);

// ReadPadInput(1) with one scripted pad, against the least work each kind of
// call must do. The query reads the device at most once per millisecond, so
// two figures: the call as an application's loop makes it (mostly answered
// from the stored state after the clock read and the zero-time wait on the
// pad's data event), against that read and wait; and the call that reads the
// device every time, against the read plus the one wait the event rule costs.
// A bare read of the double is no baseline: it returns at once, while every
// call waits on the event, which under Wine is a round trip to the server.
// Also the pads found again (RefreshJoypads) against the start-up's discovery.
#include "Bench.h"

#include "runtime/Runtime.h"
#include "runtime/diag/TrackedAlloc.h"
#include "runtime/input/Input.h"
#include "runtime/window/Window.h"
#include "tests/input/FakeDirectInput.h"

#include <cstdio>
#include <cstring>

namespace {

FakeDirectInputSystem* Machine;
FakeInputDevice* Pad;
DirectInputCreateFunction SavedCreate;
WindowState SavedWindow;

void StartOnePad() {
    SavedWindow = Window;
    Window.MainWindowHandle = nullptr; // MessageTick has no window to serve
    Window.WindowActive = 1;           // WaitWhileInactive returns at once
    std::memset(&Input, 0, sizeof Input);
    Machine = new FakeDirectInputSystem;
    Pad = Machine->AddController();
    Pad->keepHistory = false;
    Pad->PressButton(0);
    Pad->joyState.lX = -1000;
    ActiveFakeSystem() = Machine;
    SavedCreate = CreateDirectInputObject;
    CreateDirectInputObject = FakeDirectInputSystem::Create;
    StartInput();
}

void StopOnePad() {
    StopInput();
    std::memset(&Input, 0, sizeof Input);
    CreateDirectInputObject = SavedCreate;
    ActiveFakeSystem() = nullptr;
    delete Machine;
    Machine = nullptr;
    Pad = nullptr;
    Window = SavedWindow;
}

void ReadPadAsTheLoopDoes(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) BenchSink = BenchSink + uint32_t(ReadPadInput(1));
}

void ReadPadWithDeviceRead(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) {
        // A poll time timeGetTime never gives: the millisecond rule lets the read through.
        Input.PadTable[0].lastPollTime = 0xFFFFFFFFu;
        BenchSink = BenchSink + uint32_t(ReadPadInput(1));
    }
}

// The floor of a loop's call: the clock read of the millisecond rule and
// the zero-time look at the data event.
void ClockReadAndEventWait(uint32_t iterations) {
    HANDLE event = Input.PadTable[0].dataEvent;
    for (uint32_t i = 0; i < iterations; ++i) BenchSink = BenchSink + timeGetTime() + WaitForSingleObject(event, 0);
}

// The floor of any query that honours the data event: the read plus one
// zero-time wait, which under Wine is a round trip to the server.
void GetDeviceStateAndEventWait(uint32_t iterations) {
    InputDevice* device = Input.PadTable[0].device;
    HANDLE event = Input.PadTable[0].dataEvent;
    DIJOYSTATE state;
    for (uint32_t i = 0; i < iterations; ++i) {
        device->GetDeviceState(sizeof state, &state);
        BenchSink = BenchSink + uint32_t(state.rgbButtons[0]) + WaitForSingleObject(event, 0);
    }
}

REGISTER_BENCH("ReadPadInput(1) per call, loop (<=1 read/ms)", "timeGetTime + zero-time event wait",
               ReadPadAsTheLoopDoes, ClockReadAndEventWait, 2.0, false, StartOnePad, StopOnePad);
REGISTER_BENCH("ReadPadInput(1) per call, device read each", "GetDeviceState + zero-time event wait",
               ReadPadWithDeviceRead, GetDeviceStateAndEventWait, 2.0, false, StartOnePad, StopOnePad);

// Finding the pads again on the application's request against the start-up's
// own discovery, with the same one pad: what the refresh adds is its mode
// test and the API lock.
void RefreshPads(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) BenchSink = BenchSink + uint32_t(RefreshJoypads());
}

void FindPadsAsTheStartDoes(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) BenchSink = BenchSink + uint32_t(FindJoypads() + Input.PadCount);
}

REGISTER_BENCH("RefreshJoypads() with one pad", "FindJoypads(), the start-up's discovery", RefreshPads,
               FindPadsAsTheStartDoes, 1.2, false, StartOnePad, StopOnePad);

// The query allocates nothing: the tracked allocator's totals (the runtime's
// only heap) do not move over many calls of either kind.
void ReportPadQueryAllocations() {
    constexpr uint32_t Calls = 100000;
    StartOnePad();
    int32_t bytes = Allocator.TotalAllocatedBytes;
    int32_t blocks = Allocator.AllocationCount;
    ReadPadAsTheLoopDoes(Calls);
    ReadPadWithDeviceRead(Calls);
    int32_t bytesAfter = Allocator.TotalAllocatedBytes;
    int32_t blocksAfter = Allocator.AllocationCount;
    StopOnePad();
    std::printf("ReadPadInput(1) heap use over %u calls: %d bytes, %d blocks (%s)\n", 2 * Calls,
                bytesAfter - bytes, blocksAfter - blocks,
                bytesAfter == bytes && blocksAfter == blocks ? "none, met" : "MISSED");
}

REGISTER_BENCH_REPORT(ReportPadQueryAllocations);

} // namespace

// Pad vibration: the constant-force and sine effects made at discovery are
// started and stopped to follow each pad's vibration fields and the
// window's activity.
#include "runtime/input/Input.h"

#include "runtime/core/Clock.h"
#include "runtime/window/Window.h"

#include <cstdint>

namespace {

// Above this power the sine joins the constant force.
constexpr int32_t SineThreshold = 5000;
constexpr int32_t FullPower = 10000;

bool DirectInputRunning() {
    return Input.InputMode == DirectInput7 || Input.InputMode == DirectInput8;
}

// Starts or stops effect so that it plays exactly when wanted.
void FollowWish(IDirectInputEffect* effect, int32_t want, int32_t& playing) {
    if (effect == nullptr || want == playing) return;
    if (want == 1) {
        effect->Start(1, 0);
    } else {
        effect->Stop();
    }
    playing = want;
}

void SilencePad(PadRecord& pad) {
    if (pad.constantForceEffect != nullptr && pad.constantForcePlaying != 0) pad.constantForceEffect->Stop();
    if (pad.sineEffect != nullptr && pad.sinePlaying != 0) pad.sineEffect->Stop();
    pad.constantForcePlaying = 0;
    pad.sinePlaying = 0;
}

void CountDown(PadRecord& pad, int index, int32_t now) {
    // The clock wrapped: this tick counts nothing.
    if (now < pad.vibrationLastTime) pad.vibrationLastTime = now;
    int64_t elapsed = int64_t(pad.vibrationElapsed) + (now - pad.vibrationLastTime);
    pad.vibrationElapsed = elapsed > INT32_MAX ? INT32_MAX : int32_t(elapsed);
    pad.vibrationLastTime = now;
    if (pad.vibrationElapsed >= pad.vibrationDuration) StopPadVibration(index + 1);
}

} // namespace

int RefreshVibrationEffects() {
    if (!DirectInputRunning()) return 0;
    for (int i = 0; i < Input.PadCount; ++i) {
        PadRecord& pad = Input.PadTable[i];
        if (pad.device == nullptr) continue;
        if (Window.WindowActive != 1) {
            // vibrating stays: the next refresh while active plays again.
            SilencePad(pad);
            continue;
        }
        FollowWish(pad.constantForceEffect, pad.vibrating, pad.constantForcePlaying);
        int32_t wantSine = pad.vibrating == 1 && pad.vibrationPower > SineThreshold ? 1 : 0;
        FollowWish(pad.sineEffect, wantSine, pad.sinePlaying);
    }
    return 0;
}

int ProcessPadVibration() {
    if (!DirectInputRunning()) return 0;
    int32_t now = NowMilliseconds();
    for (int i = 0; i < Input.PadCount; ++i) {
        PadRecord& pad = Input.PadTable[i];
        if (pad.vibrating == 0 || pad.device == nullptr) continue;
        if (pad.vibrationDuration < 0 || pad.vibrationLastTime == now) continue;
        CountDown(pad, i, now);
    }
    RefreshVibrationEffects();
    return 0;
}

int StopPadVibration(int selector) {
    int32_t index = int32_t(uint32_t(selector & ~PadKeyboardFlag) - 1u);
    WaitWhileInactive();
    if (Input.InputMode == NotStarted && Window.CloseRequested == 0) return StartInput();
    if (index < 0 || index >= Input.PadCount) return 0;
    PadRecord& pad = Input.PadTable[index];
    if (pad.device == nullptr || pad.constantForceEffect == nullptr || pad.vibrating == 0) return 0;
    pad.vibrating = 0;
    pad.vibrationPower = FullPower;
    RefreshVibrationEffects();
    return 0;
}

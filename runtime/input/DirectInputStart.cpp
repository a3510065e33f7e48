// Bringing the input subsystem up (DirectInput 7, else 8, else the winmm
// joysticks) and down again, and re-acquiring its devices on activation.
#include "runtime/input/Input.h"

#include "runtime/core/FatalStop.h"
#include "runtime/diag/Log.h"
#include "runtime/window/Window.h"

#include <cstring>

// The size joyGetDevCapsA is told, the same in every build.
static_assert(sizeof(JOYCAPSA) == 404, "JOYCAPSA is 404 bytes");

namespace {

// Non-exclusive background use for the system mouse and keyboard: the
// runtime shares them with every other program.
constexpr DWORD SharedBackgroundLevel = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
constexpr DWORD KeyboardBufferSize = 100;
constexpr int JoystickNumberCount = 16;

// One DirectInput generation to try: the two differ in their identifiers,
// the version handed to Initialize and their log texts.
struct DirectInputGeneration {
    enum InputMode mode;
    const GUID* clsid;
    const GUID* iid;
    DWORD version;
    const char* openingText;
    const char* failureText;
    bool logsErrorCode;
};

const DirectInputGeneration Generations[] = {
    {DirectInput7, &CLSID_DirectInput, &IID_IDirectInput7A, 0x0700, "DirectInput7 の取得中... ",
     "取得に失敗。\n", true},
    {DirectInput8, &CLSID_DirectInput8, &IID_IDirectInput8A, 0x0800, "DirectInput8 の取得を試みます...",
     "取得に失敗。", false},
};

// The failure texts of a system device, in the order of its three set-up calls.
struct SystemDeviceTexts {
    const char* create;
    const char* dataFormat;
    const char* cooperativeLevel;
};

const SystemDeviceTexts MouseTexts = {
    "マウスデバイスの取得に失敗しました",
    "マウスデバイスのデータ形式の設定に失敗しました",
    "マウスデバイスの協調レベルの設定に失敗しました",
};

const SystemDeviceTexts KeyboardTexts = {
    "キーボードデバイスの取得に失敗しました",
    "キーボードデバイスのデータ形式の設定に失敗しました",
    "キーボードデバイスの協調レベルの設定に失敗しました",
};

HRESULT InitializeDirectInput(enum InputMode mode, IUnknown* object, HINSTANCE instance, DWORD version) {
    if (mode == DirectInput8) return static_cast<IDirectInput8A*>(object)->Initialize(instance, version);
    return static_cast<IDirectInput7A*>(object)->Initialize(instance, version);
}

void ReleaseDirectInputInterface() {
    if (Input.DirectInputInterface == nullptr) return;
    Input.DirectInputInterface->Release();
    Input.DirectInputInterface = nullptr;
}

bool TryGeneration(const DirectInputGeneration& generation) {
    LogWrite(generation.openingText);
    void* object = nullptr;
    HRESULT result = CreateDirectInputObject(*generation.clsid, *generation.iid, &object);
    if (FAILED(result)) {
        LogWrite(generation.failureText);
        if (generation.logsErrorCode) LogPrintf("エラーコード 0x%x\n", unsigned(result));
        return false;
    }
    Input.DirectInputInterface = static_cast<IUnknown*>(object);
    LogWrite("成功\n");
    IncreaseLogIndent();
    LogWrite("引き続き初期化処理... ");
    if (FAILED(InitializeDirectInput(generation.mode, Input.DirectInputInterface, GetModuleHandleA(nullptr),
                                     generation.version))) {
        LogWrite("初期化に失敗。");
        DecreaseLogIndent();
        ReleaseDirectInputInterface();
        return false;
    }
    LogWrite("初期化成功\n");
    DecreaseLogIndent();
    Input.InputMode = generation.mode;
    return true;
}

// Sets InputMode to the first generation that works, or marks DirectInput
// unavailable for the rest of the process. Leaves the log indented by one
// when a generation works.
void TryDirectInput() {
    LogWrite("DirectInput関係初期化処理\n");
    IncreaseLogIndent();
    for (const DirectInputGeneration& generation : Generations) {
        if (TryGeneration(generation)) return;
    }
    LogWrite("DirectInput を使用しません。\n");
    DecreaseLogIndent();
    Input.DirectInputInterface = nullptr;
    Input.DirectInputUnavailable = 1;
}

void StartJoystickMode() {
    IncreaseLogIndent();
    int answered = 0;
    for (; answered < JoystickNumberCount; ++answered) {
        JOYCAPSA caps;
        std::memset(&caps, 0, sizeof caps);
        if (JoystickFunctions.getDevCaps(answered, &caps, sizeof caps) != JOYERR_NOERROR) break;
        bool hasZ = (caps.wCaps & JOYCAPS_HASZ) != 0;
        bool hasR = (caps.wCaps & JOYCAPS_HASR) != 0;
        Input.PadTable[answered].hasZAndR = hasZ && hasR ? 1 : 0;
    }
    LogPrintf("パッドの数は %d 個です\n", answered);
    DecreaseLogIndent();
    Input.InputMode = Joystick;
    LogWrite("入力関連の初期化をしました\n");
    // Every joystick number is read, whichever answered: one plugged in
    // later shows up without a restart.
    Input.PadCount = PadTableSize;
}

void ReleaseDevice(InputDevice*& device) {
    if (device == nullptr) return;
    device->Release();
    device = nullptr;
}

// What a failed mouse or keyboard set-up leaves behind before the fatal stop.
[[noreturn]] void AbandonStart(const char* message) {
    ReleaseDevice(Input.MouseDevice);
    ReleaseDevice(Input.KeyboardDevice);
    ReleaseDirectInputInterface();
    Input.InputStarting = 0;
    FatalStop(message);
}

// Creates a system device and sets its data format and shared background
// level; the first failing call ends the process with its text.
void SetUpSystemDevice(REFGUID guid, LPCDIDATAFORMAT format, InputDevice*& device, const SystemDeviceTexts& texts) {
    if (CreateInputDevice(guid, &device) != DI_OK) AbandonStart(texts.create);
    if (device->SetDataFormat(format) != DI_OK) AbandonStart(texts.dataFormat);
    if (device->SetCooperativeLevel(Window.MainWindowHandle, SharedBackgroundLevel) != DI_OK) {
        AbandonStart(texts.cooperativeLevel);
    }
}

void StartMouse() {
    LogWrite("マウスデバイスの初期化... ");
    SetUpSystemDevice(GUID_SysMouse, &c_dfDIMouse2, Input.MouseDevice, MouseTexts);
    LogWrite("初期化成功\n");
}

void SetKeyboardBufferSize() {
    DIPROPDWORD property;
    property.diph.dwSize = sizeof property;
    property.diph.dwHeaderSize = sizeof property.diph;
    property.diph.dwObj = 0;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = KeyboardBufferSize;
    if (Input.KeyboardDevice->SetProperty(DIPROP_BUFFERSIZE, &property.diph) != DI_OK) {
        LogWrite("キーボードのプロパティ設定に失敗しました\n");
    }
}

// 0, or -1 when the keyboard's event notification is refused.
int StartKeyboard() {
    Input.LastKeyboardPollTime = timeGetTime();
    LogWrite("キーボードデバイスの初期化... ");
    SetUpSystemDevice(GUID_SysKeyboard, &c_dfDIKeyboard, Input.KeyboardDevice, KeyboardTexts);
    SetKeyboardBufferSize();
    // The event is kept before the notification is tried, so that the stop
    // closes it also after a refusal.
    Input.KeyboardEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT notification = Input.KeyboardDevice->SetEventNotification(Input.KeyboardEvent);
    if (notification != DI_OK && notification != DI_POLLEDDEVICE) {
        LogWrite("キーボードイベントのセットアップが失敗しました\n");
        Input.InputStarting = 0;
        return -1;
    }
    if (Input.KeyboardDevice->Acquire() != DI_OK && Input.KeyboardDevice->Acquire() != DI_OK) {
        AbandonStart(KeyboardTexts.create);
    }
    LogWrite("初期化成功\n");
    Input.LastKeyboardPollTime = timeGetTime();
    return 0;
}

// The devices of the DirectInput modes, under the indent TryDirectInput left.
int StartDirectInputDevices() {
    BringWindowToTop(Window.MainWindowHandle);
    MessageTick();
    FindJoypads();
    StartMouse();
    if (StartKeyboard() != 0) return -1;
    DecreaseLogIndent();
    LogWrite("DirectInput 関連の初期化は正常に終了しました\n");
    return 0;
}

void StopSystemDevice(InputDevice*& device) {
    if (device == nullptr) return;
    device->Unacquire();
    ReleaseDevice(device);
}

} // namespace

HRESULT CreateInputDevice(REFGUID guid, InputDevice** device) {
    *device = nullptr;
    if (Input.InputMode == DirectInput8) {
        IDirectInputDevice8A* created = nullptr;
        HRESULT result =
            static_cast<IDirectInput8A*>(Input.DirectInputInterface)->CreateDevice(guid, &created, nullptr);
        *device = created;
        return result;
    }
    return static_cast<IDirectInput7A*>(Input.DirectInputInterface)
        ->CreateDeviceEx(guid, IID_IDirectInputDevice7A, reinterpret_cast<void**>(device), nullptr);
}

int StartInput() {
    if (Input.InputMode != NotStarted || Input.InputStarting == 1) return 0;
    Input.InputStarting = 1;
    ClearInputState();
    if (Input.DirectInputUnavailable != 1) TryDirectInput();
    if (Input.InputMode == NotStarted) {
        StartJoystickMode();
    } else if (StartDirectInputDevices() != 0) {
        return -1;
    }
    ResetPadKeyMap(Input.PadKeyMap);
    Input.InputStarting = 0;
    return 0;
}

int StopInput() {
    if (Input.InputMode == NotStarted) return 0;
    if (Input.InputMode == Joystick) {
        LogWrite("入力関連の終了処理... 完了\n");
        Input.InputMode = NotStarted;
        return 0;
    }
    LogWrite("DirectInput 関連の終了処理... 完了\n");
    ReleaseJoypads();
    if (Input.KeyboardDevice != nullptr) {
        StopSystemDevice(Input.KeyboardDevice);
        CloseHandle(Input.KeyboardEvent);
        Input.KeyboardEvent = nullptr;
    }
    StopSystemDevice(Input.MouseDevice);
    // A fatal stop during the start has already released the interface.
    ReleaseDirectInputInterface();
    Input.InputMode = NotStarted;
    return 0;
}

int ReacquireInputDevices() {
    if (Input.InputMode != DirectInput7 && Input.InputMode != DirectInput8) return 0;
    // Active: the pads are ours alone; inactive: read them in the background.
    DWORD level = Window.WindowActive == 1 ? DISCL_EXCLUSIVE | DISCL_FOREGROUND : SharedBackgroundLevel;
    for (int i = 0; i < Input.PadCount; ++i) {
        InputDevice* device = Input.PadTable[i].device;
        if (device == nullptr) continue;
        device->Unacquire();
        device->SetCooperativeLevel(Window.MainWindowHandle, level);
        device->Acquire();
    }
    if (Input.KeyboardDevice != nullptr) {
        Input.KeyboardDevice->Unacquire();
        Input.KeyboardDevice->Acquire();
    }
    return 0;
}

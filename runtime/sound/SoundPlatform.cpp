// The platform calls of the sound subsystem: the one place that creates the
// DirectSound object and reaches "DSOUND.DLL".
#include "runtime/sound/Sound.h"

namespace {

// In-process server or handler, or a local server: 7. The SDK's CLSCTX_ALL
// is 0x17 today, which adds remote servers; a sound device is never remote.
constexpr DWORD SoundServerContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
static_assert(SoundServerContexts == 7, "the in-process and local server contexts");

// The DirectSound 3 to 7 interface, never DirectSound 8: the runtime needs
// nothing the later interface adds.
HRESULT CreateDirectSound(IDirectSound** device) {
    return CoCreateInstance(CLSID_DirectSound, nullptr, SoundServerContexts, IID_IDirectSound,
                            reinterpret_cast<void**>(device));
}

HMODULE LoadSystemLibrary(const char* name) {
    return LoadLibraryA(name);
}

FARPROC FindExport(HMODULE module, const char* name) {
    return GetProcAddress(module, name);
}

BOOL FreeSystemLibrary(HMODULE module) {
    return FreeLibrary(module);
}

} // namespace

const SoundPlatform DefaultSoundPlatform = {CreateDirectSound, LoadSystemLibrary, FindExport, FreeSystemLibrary};
const SoundPlatform* CurrentSoundPlatform = &DefaultSoundPlatform;

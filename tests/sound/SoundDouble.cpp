#include "SoundDouble.h"

#include "tests/support/ComObject.h"

#include <cstring>

SoundScript CurrentSoundScript;
SoundRecord CurrentSoundRecord;

namespace {

// Every object of the double counts in the record while it lives.
class LiveSoundObject {
protected:
    LiveSoundObject() { ++CurrentSoundRecord.liveObjects; }
    ~LiveSoundObject() { --CurrentSoundRecord.liveObjects; }
};

class ScriptedBuffer final : public ComObject<ScriptedBuffer, IDirectSoundBuffer>, LiveSoundObject {
public:
    explicit ScriptedBuffer(size_t record) : record_(record) { std::memset(memory_, 0xAA, sizeof memory_); }

    STDMETHOD(GetCaps)(LPDSBCAPS) override { return E_NOTIMPL; }
    STDMETHOD(GetCurrentPosition)(LPDWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetVolume)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPan)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetFrequency)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetStatus)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return DSERR_ALREADYINITIALIZED; }
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* first, LPDWORD firstBytes, LPVOID* second,
                    LPDWORD secondBytes, DWORD flags) override {
        SoundBufferRecord& r = Record();
        ++r.lockCalls;
        r.lockOffset = offset;
        r.lockBytes = bytes;
        r.lockFlags = flags;
        if (CurrentSoundScript.silenceLock != DS_OK) return CurrentSoundScript.silenceLock;
        DWORD split = CurrentSoundScript.firstRegionBytes;
        *first = memory_;
        *firstBytes = split;
        *second = split < sizeof memory_ ? memory_ + split : nullptr;
        *secondBytes = DWORD(sizeof memory_) - split;
        return DS_OK;
    }
    STDMETHOD(Play)(DWORD reserved, DWORD priority, DWORD flags) override {
        SoundBufferRecord& r = Record();
        ++r.playCalls;
        r.playReserved = reserved;
        r.playPriority = priority;
        r.playFlags = flags;
        return DS_OK;
    }
    STDMETHOD(SetCurrentPosition)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX format) override {
        SoundBufferRecord& r = Record();
        r.setFormatCalled = true;
        r.setFormat = *format;
        return CurrentSoundScript.setFormat;
    }
    STDMETHOD(SetVolume)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetPan)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetFrequency)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stop)() override {
        ++Record().stopCalls;
        return DS_OK;
    }
    STDMETHOD(Unlock)(LPVOID first, DWORD firstBytes, LPVOID second, DWORD secondBytes) override {
        SoundBufferRecord& r = Record();
        DWORD split = CurrentSoundScript.firstRegionBytes;
        r.unlockedRegions = first == memory_ && firstBytes == split &&
                            second == (split < sizeof memory_ ? memory_ + split : nullptr) &&
                            secondBytes == sizeof memory_ - split;
        r.unlockedZeroed = true;
        for (uint8_t byte : memory_) r.unlockedZeroed = r.unlockedZeroed && byte == 0;
        return DS_OK;
    }
    STDMETHOD(Restore)() override { return DS_OK; }

private:
    SoundBufferRecord& Record() { return CurrentSoundRecord.buffers[record_]; }

    size_t record_;
    uint8_t memory_[SilenceBufferBytes];
};

class ScriptedDevice final : public ComObject<ScriptedDevice, IDirectSound>, LiveSoundObject {
public:
    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC description, LPLPDIRECTSOUNDBUFFER out, IUnknown*) override {
        SoundBufferRecord r;
        r.description = *description;
        if (description->lpwfxFormat != nullptr) r.format = *description->lpwfxFormat;
        CurrentSoundRecord.buffers.push_back(r);
        bool primary = (description->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0;
        HRESULT result = primary ? CurrentSoundScript.primaryBuffer : CurrentSoundScript.silenceBuffer;
        if (result != DS_OK) return result;
        *out = new ScriptedBuffer(CurrentSoundRecord.buffers.size() - 1);
        return DS_OK;
    }
    STDMETHOD(GetCaps)(LPDSCAPS caps) override {
        DWORD size = caps->dwSize;
        *caps = CurrentSoundScript.caps;
        caps->dwSize = size;
        return DS_OK;
    }
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER) override { return E_NOTIMPL; }
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD level) override {
        CurrentSoundRecord.cooperativeWindow = window;
        CurrentSoundRecord.cooperativeLevel = level;
        return CurrentSoundScript.cooperativeLevel;
    }
    STDMETHOD(Compact)() override { return DS_OK; }
    STDMETHOD(GetSpeakerConfig)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetSpeakerConfig)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPCGUID guid) override {
        CurrentSoundRecord.initializeGuidNull = guid == nullptr;
        return CurrentSoundScript.initialize;
    }
};

HRESULT CreateScriptedDevice(IDirectSound** device) {
    ++CurrentSoundRecord.createCalls;
    *device = nullptr;
    if (FAILED(CurrentSoundScript.create)) return CurrentSoundScript.create;
    *device = new ScriptedDevice;
    return S_OK;
}

// A module handle that is never a real one.
HMODULE const ScriptedLibrary = reinterpret_cast<HMODULE>(0x5D5D0000);

HRESULT WINAPI EnumerateScriptedDevices(LPDSENUMCALLBACKA callback, LPVOID context) {
    static GUID guid{};
    for (const ScriptedSoundDevice& d : CurrentSoundScript.devices) {
        if (!callback(&guid, d.description.c_str(), d.module.c_str(), context)) break;
    }
    return DS_OK;
}

HMODULE LoadScriptedLibrary(const char* name) {
    ++CurrentSoundRecord.libraryLoads;
    CurrentSoundRecord.loadedName = name;
    return CurrentSoundScript.libraryLoads ? ScriptedLibrary : nullptr;
}

FARPROC FindScriptedExport(HMODULE module, const char* name) {
    CurrentSoundRecord.exportName = name;
    if (module != ScriptedLibrary || !CurrentSoundScript.enumerateExported) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(EnumerateScriptedDevices));
}

BOOL FreeScriptedLibrary(HMODULE module) {
    if (module == ScriptedLibrary) ++CurrentSoundRecord.libraryFrees;
    return TRUE;
}

const SoundPlatform ScriptedPlatform = {CreateScriptedDevice, LoadScriptedLibrary, FindScriptedExport,
                                        FreeScriptedLibrary};

} // namespace

const SoundPlatform* InstallSoundDouble() {
    CurrentSoundScript = SoundScript{};
    CurrentSoundScript.caps = MakeCaps(DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 48000);
    CurrentSoundRecord = SoundRecord{};
    const SoundPlatform* previous = CurrentSoundPlatform;
    CurrentSoundPlatform = &ScriptedPlatform;
    return previous;
}

DSCAPS MakeCaps(DWORD flags, DWORD maxRate, DWORD minRate, DWORD totalMemory, DWORD freeMemory) {
    DSCAPS caps;
    std::memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    caps.dwFlags = flags;
    caps.dwMaxSecondarySampleRate = maxRate;
    caps.dwMinSecondarySampleRate = minRate;
    caps.dwTotalHwMemBytes = totalMemory;
    caps.dwFreeHwMemBytes = freeMemory;
    return caps;
}

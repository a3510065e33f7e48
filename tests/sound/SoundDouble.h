// A scripted DirectSound device for the sound tests: the device and its
// buffers answer as the script says and record what the runtime asked of
// them. Installed through the sound subsystem's platform table.
#pragma once

#include "runtime/sound/Sound.h"

#include <string>
#include <vector>

struct ScriptedSoundDevice {
    std::string module;       // the module name the enumeration reports
    std::string description;  // its description
};

struct SoundScript {
    HRESULT create = S_OK;            // the COM creation's result; a failure gives no object
    HRESULT initialize = DS_OK;
    HRESULT cooperativeLevel = DS_OK;
    HRESULT primaryBuffer = DS_OK;    // CreateSoundBuffer of the primary buffer
    HRESULT setFormat = DS_OK;        // SetFormat on the primary buffer
    HRESULT silenceBuffer = DS_OK;    // CreateSoundBuffer of the silence buffer
    HRESULT silenceLock = DS_OK;      // Lock of the silence buffer
    DWORD firstRegionBytes = SilenceBufferBytes; // the lock's first region; the rest is the second
    DSCAPS caps{};                    // what GetCaps fills in (dwSize is the caller's)
    bool libraryLoads = true;         // "DSOUND.DLL" loads
    bool enumerateExported = true;    // it exports DirectSoundEnumerateA
    std::vector<ScriptedSoundDevice> devices{{"dsound.vxd", "Scripted Device"}};
};

struct SoundBufferRecord {
    DSBUFFERDESC description{};       // as passed to CreateSoundBuffer
    WAVEFORMATEX format{};            // *description.lpwfxFormat when one was passed
    bool setFormatCalled = false;
    WAVEFORMATEX setFormat{};         // the format passed to SetFormat
    int lockCalls = 0;
    DWORD lockOffset = 0, lockBytes = 0, lockFlags = 0;
    bool unlockedZeroed = false;      // Unlock saw every byte of both regions zero
    bool unlockedRegions = false;     // Unlock got back exactly the regions Lock gave
    int playCalls = 0;
    DWORD playReserved = 0, playPriority = 0, playFlags = 0;
    int stopCalls = 0;
};

struct SoundRecord {
    int createCalls = 0;
    int liveObjects = 0;              // device and buffers not yet released to zero
    HWND cooperativeWindow = nullptr;
    DWORD cooperativeLevel = 0;
    bool initializeGuidNull = false;
    std::vector<SoundBufferRecord> buffers; // in creation order, refused ones included
    int libraryLoads = 0, libraryFrees = 0;
    std::string loadedName;
    std::string exportName;
};

// The script the next device follows and the record of what happened.
extern SoundScript CurrentSoundScript;
extern SoundRecord CurrentSoundRecord;

// Installs the double (script and record reset to their defaults) and
// returns the table it replaced.
const SoundPlatform* InstallSoundDouble();

// A DSCAPS with the given flags and rates.
DSCAPS MakeCaps(DWORD flags, DWORD maxRate, DWORD minRate = 100, DWORD totalMemory = 0, DWORD freeMemory = 0);

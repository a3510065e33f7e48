// The two lists the worker serves, and the operations on the player handles
// of the rest of the subsystem that the device's start and stop run.
#include "runtime/sound/Sound.h"

namespace {

// Unlinks item from the intrusive list at head; absent items are ignored.
template <typename Item>
void Unlink(Item*& head, Item* item) {
    for (Item** link = &head; *link != nullptr; link = &(*link)->next) {
        if (*link != item) continue;
        *link = item->next;
        item->next = nullptr;
        return;
    }
}

template <typename Item>
int Link(Item*& head, Item* item) {
    if (Sound.SoundDevice == nullptr || item == nullptr) return -1;
    EnterCriticalSection(&Sound.SoundLock);
    item->next = head;
    head = item;
    LeaveCriticalSection(&Sound.SoundLock);
    return 0;
}

// Without a device there is no worker, and no lock to take.
template <typename Item>
void Remove(Item*& head, Item* item) {
    if (item == nullptr) return;
    if (Sound.SoundDevice == nullptr) {
        Unlink(head, item);
        return;
    }
    EnterCriticalSection(&Sound.SoundLock);
    Unlink(head, item);
    LeaveCriticalSection(&Sound.SoundLock);
}

} // namespace

int AddSoundHandle(SoundHandle* handle) {
    return Link(Sound.soundHandles, handle);
}

void RemoveSoundHandle(SoundHandle* handle) {
    Remove(Sound.soundHandles, handle);
}

int AddSoundWorkerEntry(SoundWorkerEntry* entry) {
    return Link(Sound.workerEntries, entry);
}

void RemoveSoundWorkerEntry(SoundWorkerEntry* entry) {
    Remove(Sound.workerEntries, entry);
}

void RunSoundWorkerPass() {
    for (SoundHandle* handle = Sound.soundHandles; handle != nullptr; handle = handle->next) {
        if (handle->streaming && handle->refillStream != nullptr) handle->refillStream(handle);
    }
    // A refill may have found the device gone; the entries need it too.
    if (Sound.SoundDevice == nullptr) return;
    for (SoundWorkerEntry* entry = Sound.workerEntries; entry != nullptr; entry = entry->next) {
        if (entry->active && entry->update != nullptr) entry->update(entry);
    }
}

void StopAllSoundHandles() {
    if (Sound.SoundDevice == nullptr) return;
    EnterCriticalSection(&Sound.SoundLock);
    for (SoundHandle* handle = Sound.soundHandles; handle != nullptr; handle = handle->next) {
        if (handle->stop != nullptr) handle->stop(handle);
    }
    LeaveCriticalSection(&Sound.SoundLock);
}

// This build plays no sound through the other player kinds, captures
// nothing and plays no music through the sound device: there is never
// anything to release, and each of these is safe before any start.
void ReleasePlayerHandles() {}

void StopSoundCapture() {}

void ReleaseMusicHandles() {}

void DeleteMusicTempFile() {}

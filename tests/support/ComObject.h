// The IUnknown part every COM double needs, written once: an interlocked
// reference count that starts at one, deletion on the last release, and a
// QueryInterface that answers the interface ids the double names.
// Header-only, because the virtual joypad DLL uses it too and links no test
// library.
//
//     class FakeThing final : public ComObject<FakeThing, IThing> {
//         friend ComObject;  // only when the destructor or Answers is private
//         bool Answers(REFIID iid) const { return IsOneOfIids(iid, IID_IUnknown, IID_IThing); }
//         ...
//     };
//
// What the object must do when it goes (live-object counts, handles) belongs
// in its destructor, which the last Release runs.
#pragma once

#include <windows.h>
#include <unknwn.h>

// Whether iid is one of ids.
template <class... Ids>
bool IsOneOfIids(REFIID iid, const Ids&... ids) {
    return (IsEqualIID(iid, ids) || ...);
}

template <class Derived, class Interface>
class ComObject : public Interface {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!static_cast<const Derived*>(this)->Answers(iid)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&refs); }
    STDMETHOD_(ULONG, Release)() override {
        LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

    // Most doubles answer no interface at all, not even IUnknown: the code
    // they stand in for never asks them. A double that does answers hides this.
    bool Answers(REFIID) const { return false; }

    LONG refs = 1; // public, so that tests can see who still holds the object

protected:
    ComObject() = default;
    ~ComObject() = default;
};

#include "app/KeyBindings.h"
#include "app/Dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(KeyBindings, MaskAndIndexAreInversesOnSingleButtons) {
    for (int index = 0; index < ButtonCount; ++index) {
        EXPECT_EQ(1u << (index + 4), ButtonMaskTable[index]) << index;
        EXPECT_EQ(index, ButtonIndexFromMask(ButtonMaskTable[index])) << index;
        EXPECT_EQ(ButtonMaskTable[index], MaskFromButtonIndex(index)) << index;
    }
    EXPECT_EQ(0u, MaskFromButtonIndex(Unbound));
}

TEST(KeyBindings, AnythingButOneButtonBitIsUnbound) {
    const uint32_t masks[] = {0, 1, 2, 4, 8, 0x30, 0x11, 0x80000010u, 0xFFFFFFFFu};
    for (uint32_t mask : masks) EXPECT_EQ(Unbound, ButtonIndexFromMask(mask)) << std::hex << mask;
}

TEST(KeyBindings, FieldTexts) {
    const struct {
        int slot;
        const char* text;
    } cases[] = {{Unbound, "------"}, {0, "Button1"}, {11, "Button12"}, {27, "Button28"}};
    for (const auto& c : cases) {
        char text[32];
        FormatBindingText(c.slot, text, sizeof text);
        EXPECT_STREQ(c.text, text);
    }
}

// What OK writes for a key. A slot the dialog loaded or the player assigned
// writes its own mask, an unbound one 0 (a loaded mask of several bits or a
// direction comes back as 0); a slot that neither ever set, after a load
// that failed at the start, keeps whatever the file holds at OK.
TEST(KeyBindings, MaskToSaveKeepsTheFilesMaskForASlotNeverSet) {
    const struct {
        const char* name;
        int slot;
        bool slotSet;
        uint32_t fileMask;
        uint32_t saved;
    } cases[] = {
        {"assigned or loaded button", 2, true, 0x20, 0x40},
        {"loaded as unbound", Unbound, true, 0x20, 0},
        {"button 28 from the file", 27, true, 0x80000000u, 0x80000000u},
        {"never set: the file's mask", Unbound, false, 0x20, 0x20},
        {"never set: the file's odd mask too", Unbound, false, 0x30, 0x30},
        {"never set: an unbound file key", Unbound, false, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.saved, MaskToSave(c.slot, c.slotSet, c.fileMask)) << c.name;
    }
}

// A run of ticks: the pad bits of each tick, and the bit each tick assigns
// (-1 none) when the latch follows the assignments as the dialog keeps it.
struct TickCase {
    const char* name;
    std::vector<uint32_t> ticks;
    std::vector<int> assigned;
};

TEST(KeyBindings, TicksAssignEachPressOnce) {
    const TickCase cases[] = {
        {"held button assigns once", {0x10, 0x10, 0x10}, {4, -1, -1}},
        {"release then press again", {0x10, 0, 0x10}, {4, -1, 4}},
        {"two held buttons alternate", {0x30, 0x30, 0x30, 0x30}, {4, 5, 4, 5}},
        {"directions never assign and release the latch", {0x10, 0x0F, 0x10}, {4, -1, 4}},
        {"a second button while the first is held", {0x10, 0x90, 0x90}, {4, 7, 4}},
        {"button 28 bit", {0x80000000u}, {31}},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.name);
        int latched = Unbound;
        std::vector<int> assigned;
        for (uint32_t bits : c.ticks) {
            bool anyDown = false;
            int bit = FindButtonToAssign(bits, latched, anyDown);
            if (bit >= 0)
                latched = bit;
            else if (!anyDown)
                latched = Unbound;
            assigned.push_back(bit);
        }
        EXPECT_EQ(c.assigned, assigned);
    }
}

// The static dialog procedure on a plain window: nothing reaches an object
// before WM_INITDIALOG; from then on everything does.
class RecordingDialog : public CDialog {
public:
    INT_PTR DialogProc(HWND, UINT message, WPARAM, LPARAM) override {
        messages.push_back(message);
        return 7;
    }
    std::vector<UINT> messages;
};

TEST(DialogHost, StaticProcedureAttachesThePendingDialogAtInit) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    RecordingDialog dialog;
    pendingDialog = &dialog;

    EXPECT_EQ(FALSE, StaticDialogProc(window, WM_SETFONT, 0, 0));
    EXPECT_TRUE(dialog.messages.empty());

    EXPECT_EQ(7, StaticDialogProc(window, WM_INITDIALOG, 0, 0));
    EXPECT_EQ(nullptr, pendingDialog);
    EXPECT_EQ(7, StaticDialogProc(window, WM_TIMER, 100, 0));
    EXPECT_EQ((std::vector<UINT>{WM_INITDIALOG, WM_TIMER}), dialog.messages);
    DestroyWindow(window);
}

} // namespace

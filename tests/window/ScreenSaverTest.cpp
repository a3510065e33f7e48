// The screen saver across copies of the runtime: the rules of the shared
// record of holders, and whole copies of the runtime in child processes that
// overlap, end in either order or die without their teardown, after which
// the user's setting must be back.
#include "ScreenSaverSetting.h"

#include "runtime/Runtime.h"
#include "runtime/window/ScreenSaver.h"
#include "support/ChildScenario.h"
#include "support/PlainWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

// ---- The record's rules ------------------------------------------------------------

namespace {

// Holders of the tables below: ids 1 to 99 run; ids from 100 up have died,
// and so has id 0, which no process has (an unused entry holds it).
constexpr uint32_t FirstDeadId = 100;

bool AliveUnderFirstDeadId(const ScreenSaverHolder& holder) {
    return holder.processId != 0 && holder.processId < FirstDeadId;
}

ScreenSaverHolder Holder(uint32_t id, uint32_t created = 7) {
    return {id, created, 0};
}

ScreenSaverRecord RecordOf(const std::vector<ScreenSaverHolder>& holders, int32_t count) {
    ScreenSaverRecord record = {};
    record.originalActive = 1;
    for (size_t i = 0; i < holders.size() && i < size_t(ScreenSaverHolderLimit); ++i) record.holders[i] = holders[i];
    record.holderCount = count;
    return record;
}

std::vector<uint32_t> IdsOf(const ScreenSaverRecord& record) {
    std::vector<uint32_t> ids;
    for (int i = 0; i < record.holderCount; ++i) ids.push_back(record.holders[i].processId);
    return ids;
}

std::vector<ScreenSaverHolder> FullOfLiveHolders() {
    std::vector<ScreenSaverHolder> holders;
    for (int i = 0; i < ScreenSaverHolderLimit; ++i) holders.push_back(Holder(uint32_t(i % 90 + 1), uint32_t(i)));
    return holders;
}

struct JoinCase {
    const char* name;
    std::vector<ScreenSaverHolder> before;
    int32_t count;
    ScreenSaverHolder self;
    HolderJoin expected;
    std::vector<uint32_t> after;
};

} // namespace

TEST(ScreenSaverRecordTest, JoiningDropsTheDeadAndListsEachCopyOnce) {
    const JoinCase cases[] = {
        {"empty record", {}, 0, Holder(5), HolderJoin::First, {5}},
        {"a live holder", {Holder(3)}, 1, Holder(5), HolderJoin::Joined, {3, 5}},
        {"only dead holders: the joiner is first again", {Holder(100), Holder(101)}, 2, Holder(5), HolderJoin::First, {5}},
        {"dead ones between live ones keep the order of the rest",
         {Holder(100), Holder(3), Holder(101), Holder(4)}, 4, Holder(5), HolderJoin::Joined, {3, 4, 5}},
        {"listed already, alone", {Holder(5)}, 1, Holder(5), HolderJoin::AlreadyHolding, {5}},
        {"listed already, first", {Holder(5), Holder(3), Holder(4)}, 3, Holder(5), HolderJoin::AlreadyHolding,
         {5, 3, 4}},
        {"listed already, in the middle", {Holder(3), Holder(5), Holder(4)}, 3, Holder(5),
         HolderJoin::AlreadyHolding, {3, 5, 4}},
        {"listed already, last", {Holder(3), Holder(4), Holder(5)}, 3, Holder(5), HolderJoin::AlreadyHolding,
         {3, 4, 5}},
        {"listed already, behind a dead holder that goes", {Holder(100), Holder(5), Holder(3)}, 3, Holder(5),
         HolderJoin::AlreadyHolding, {5, 3}},
        {"same id, other creation time: a new process", {Holder(5, 1)}, 1, Holder(5, 2), HolderJoin::Joined, {5, 5}},
        {"damaged negative count", {Holder(3)}, -4, Holder(5), HolderJoin::First, {5}},
        {"damaged count past the end", {Holder(3), Holder(100)}, ScreenSaverHolderLimit + 9, Holder(95),
         HolderJoin::Joined, {3, 95}},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenSaverRecord record = RecordOf(c.before, c.count);
        DropDeadHolders(record, AliveUnderFirstDeadId);
        EXPECT_EQ(int(c.expected), int(JoinHolders(record, c.self)));
        EXPECT_EQ(c.after, IdsOf(record));
        EXPECT_EQ(1, record.originalActive) << "joining never writes the setting";
    }

    ScreenSaverRecord full = RecordOf(FullOfLiveHolders(), ScreenSaverHolderLimit);
    DropDeadHolders(full, AliveUnderFirstDeadId);
    EXPECT_EQ(int(HolderJoin::Full), int(JoinHolders(full, Holder(95))));
    EXPECT_EQ(ScreenSaverHolderLimit, full.holderCount);
    full.holders[10] = Holder(100);
    DropDeadHolders(full, AliveUnderFirstDeadId);
    EXPECT_EQ(int(HolderJoin::Joined), int(JoinHolders(full, Holder(95)))) << "a dead holder's room is free again";
    EXPECT_EQ(95u, full.holders[ScreenSaverHolderLimit - 1].processId);
}

namespace {

struct LeaveCase {
    const char* name;
    std::vector<ScreenSaverHolder> before;
    ScreenSaverHolder self;
    bool last;
    std::vector<uint32_t> after;
};

} // namespace

TEST(ScreenSaverRecordTest, TheLastLiveHolderToLeaveIsTold) {
    const LeaveCase cases[] = {
        {"alone", {Holder(5)}, Holder(5), true, {}},
        {"first of two", {Holder(5), Holder(3)}, Holder(5), false, {3}},
        {"second of two", {Holder(3), Holder(5)}, Holder(5), false, {3}},
        {"the other died", {Holder(100), Holder(5)}, Holder(5), true, {}},
        {"the other took a dead holder's id", {Holder(5, 1), Holder(5, 2)}, Holder(5, 2), false, {5}},
        {"not listed, others hold it", {Holder(3)}, Holder(5), false, {3}},
        {"not listed, none left", {}, Holder(5), true, {}},
    };
    for (const LeaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenSaverRecord record = RecordOf(c.before, int32_t(c.before.size()));
        DropDeadHolders(record, AliveUnderFirstDeadId);
        EXPECT_EQ(c.last, LeaveHolders(record, c.self));
        EXPECT_EQ(c.after, IdsOf(record));
    }
}

// ---- Copies of the runtime in child processes ------------------------------------

namespace {

constexpr const char HolderEventsVariable[] = "SCREEN_SAVER_TEST_EVENTS";

HWND CreateHostWindow() {
    return CreatePlainWindow("ScreenSaverTestHost", DefWindowProcA, WS_OVERLAPPEDWINDOW, 200, 150,
                             "screen saver test");
}

} // namespace

// A copy of the key configuration tool's use of the runtime: started on its
// host window, it says so, runs until told to end, and shuts down.
CHILD_SCENARIO(ScreenSaverHolder) {
    char base[128] = {};
    if (GetEnvironmentVariableA(HolderEventsVariable, base, sizeof base) == 0) return 2;
    HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(base) + "_started").c_str());
    HANDLE end = OpenEventA(SYNCHRONIZE, FALSE, (std::string(base) + "_end").c_str());
    if (started == nullptr || end == nullptr) return 3;
    HWND host = CreateHostWindow();
    if (host == nullptr) return 4;
    SetDrawingDisabled(1);
    SetHostWindow(host);
    SetLogOutput(0);
    if (LibraryStartup() != 0) return 5;
    SetEvent(started);
    if (ChildProcess::WaitDispatching(&end, 1, 120000) != WAIT_OBJECT_0) return 6;
    LibraryShutdown();
    DestroyWindow(host);
    return 0;
}

namespace {

// One copy of the runtime in a child process, with the two events that
// start and end its run.
class RuntimeCopy {
public:
    explicit RuntimeCopy(const char* name) {
        char base[96];
        std::snprintf(base, sizeof base, "ScreenSaverTest%lu%s", GetCurrentProcessId(), name);
        started_ = CreateEventA(nullptr, TRUE, FALSE, (std::string(base) + "_started").c_str());
        end_ = CreateEventA(nullptr, TRUE, FALSE, (std::string(base) + "_end").c_str());
        SetEnvironmentVariableA(HolderEventsVariable, base);
        launched_ = process_.Start("ScreenSaverHolder");
    }
    // A copy the test did not end (a failed check) still ends through its
    // shutdown, so that it gives back what it holds.
    ~RuntimeCopy() {
        SetEvent(end_);
        process_.WaitForExit(30000);
        CloseHandle(started_);
        CloseHandle(end_);
    }

    bool WaitStarted() { return launched_ && process_.WaitFor(started_); }
    int End() {
        SetEvent(end_);
        return process_.WaitForExit();
    }
    void Kill() { process_.Kill(); }

private:
    HANDLE started_ = nullptr;
    HANDLE end_ = nullptr;
    bool launched_ = false;
    ChildProcess process_;
};

enum class Ending {
    FirstEndsFirst,  // A starts, B starts, A ends, B ends
    SecondEndsFirst, // A starts, B starts, B ends, A ends
    FirstDies,       // A is killed while B runs, then B ends
    SecondDies,      // B is killed while A runs, then A ends
};

struct OverlapCase {
    const char* name;
    int userSetting;
    Ending ending;
};

const OverlapCase OverlapCases[] = {
    {"on, first copy ends first", 1, Ending::FirstEndsFirst},
    {"on, second copy ends first", 1, Ending::SecondEndsFirst},
    {"off, first copy ends first", 0, Ending::FirstEndsFirst},
    {"off, second copy ends first", 0, Ending::SecondEndsFirst},
    // A copy that dies without its teardown must not keep the record up.
    {"on, first copy dies", 1, Ending::FirstDies},
    {"on, second copy dies", 1, Ending::SecondDies},
};

bool FirstGoesFirst(Ending ending) {
    return ending == Ending::FirstEndsFirst || ending == Ending::FirstDies;
}

bool Dies(Ending ending) {
    return ending == Ending::FirstDies || ending == Ending::SecondDies;
}

} // namespace

TEST(ScreenSaverOverlapTest, TheUsersSettingSurvivesTwoOverlappingCopies) {
    ScreenSaverSettingGuard machine;
    ASSERT_GE(machine.Original(), 0) << "the setting cannot be read";
    for (const OverlapCase& c : OverlapCases) {
        SCOPED_TRACE(c.name);
        SetUserScreenSaverSetting(c.userSetting);
        ASSERT_EQ(c.userSetting, ScreenSaverSettingSeenAfresh());

        RuntimeCopy first("A");
        ASSERT_TRUE(first.WaitStarted()) << "the first copy did not start";
        EXPECT_EQ(0, ScreenSaverSettingSeenAfresh()) << "off while the first copy runs";
        RuntimeCopy second("B");
        ASSERT_TRUE(second.WaitStarted()) << "the second copy did not start";

        RuntimeCopy& early = FirstGoesFirst(c.ending) ? first : second;
        RuntimeCopy& late = FirstGoesFirst(c.ending) ? second : first;
        if (Dies(c.ending)) early.Kill();
        else EXPECT_EQ(0, early.End());
        EXPECT_EQ(0, ScreenSaverSettingSeenAfresh()) << "off while the other copy still runs";
        EXPECT_EQ(0, late.End());
        EXPECT_EQ(c.userSetting, ScreenSaverSettingSeenAfresh()) << "the user's setting once both are gone";
    }
}

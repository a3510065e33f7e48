// The tool's own 64-bit tick count, read by several threads across a wrap of
// the 32-bit count, on a simulated clock: the count never goes back, and the
// wrap is counted once.
#include "app/XpTickCount64.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr DWORD PatienceMs = 20000;
constexpr uint64_t Wrap = uint64_t(1) << 32;

// The simulated time in 64 bits; the clock shows its low 32. A reading may be
// held: the thread that takes it keeps the time it read and returns it only
// when the test lets it, as a thread does that is pre-empted just after it
// read GetTickCount.
struct SimulatedClock {
    std::atomic<uint64_t> time{0};
    uint64_t step = 0; // how far every reading moves the time on
    std::atomic<bool> holdNextReading{false};
    HANDLE readingHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE letReadingGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    ~SimulatedClock() {
        CloseHandle(readingHeld);
        CloseHandle(letReadingGo);
    }
};
SimulatedClock* Clock = nullptr;

DWORD WINAPI ReadSimulatedClock() {
    uint64_t now = Clock->time.fetch_add(Clock->step);
    if (Clock->holdNextReading.exchange(false)) {
        SetEvent(Clock->readingHeld);
        WaitForSingleObject(Clock->letReadingGo, PatienceMs);
    }
    return DWORD(now);
}

class XpTickCount64Test : public testing::Test {
protected:
    void SetUp() override { Clock = &clock_; }
    void TearDown() override {
        SetEvent(clock_.letReadingGo);
        Clock = nullptr;
    }

    SimulatedClock clock_;
    WidenedTickCount count_{ReadSimulatedClock};
};

// One read of the count and the simulated time around it: the count is the
// time of a reading made within the read.
struct TimedRead {
    uint64_t before, count, after;
};

TimedRead ReadTimed(WidenedTickCount& count) {
    TimedRead read;
    read.before = Clock->time.load();
    read.count = count.Read();
    read.after = Clock->time.load();
    return read;
}

struct ReaderThread {
    WidenedTickCount* count;
    int reads;
    std::vector<TimedRead> results;
    HANDLE go;
    HANDLE handle = nullptr;

    static DWORD WINAPI Run(void* parameter) {
        ReaderThread& reader = *static_cast<ReaderThread*>(parameter);
        WaitForSingleObject(reader.go, PatienceMs);
        for (int i = 0; i < reader.reads; ++i) reader.results.push_back(ReadTimed(*reader.count));
        return 0;
    }
};

} // namespace

// A reader that read the clock just before the wrap is overtaken by one that
// reads across it. The first must not hand out its older count after the
// second handed out the newer (the count would go back), nor widen its old
// reading against the newer count (the wrap would count twice).
TEST_F(XpTickCount64Test, AReaderOvertakenAcrossTheWrapNeitherGoesBackNorCountsTheWrapAgain) {
    clock_.time = Wrap - 16;
    EXPECT_EQ(Wrap - 16, count_.Read());

    clock_.time = Wrap - 8;
    clock_.holdNextReading = true;
    HANDLE go = CreateEventA(nullptr, TRUE, TRUE, nullptr); // at once
    ReaderThread overtaken = {&count_, 1, {}, go};
    overtaken.handle = CreateThread(nullptr, 0, ReaderThread::Run, &overtaken, 0, nullptr);
    ASSERT_NE(nullptr, overtaken.handle);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(clock_.readingHeld, PatienceMs)) << "the reader never read";

    clock_.time = Wrap + 5;
    uint64_t across = count_.Read();
    EXPECT_EQ(Wrap + 5, across) << "the wrap while the other reader waits";
    SetEvent(clock_.letReadingGo);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(overtaken.handle, PatienceMs));
    CloseHandle(overtaken.handle);
    CloseHandle(go);

    ASSERT_EQ(1u, overtaken.results.size());
    uint64_t late = overtaken.results[0].count;
    EXPECT_GE(late, across) << "handed out after the count across the wrap, and older";
    EXPECT_LE(late, clock_.time.load()) << "the wrap counted twice";
    EXPECT_EQ(Wrap + 5, count_.Read()) << "a read after both";
}

// Threads that read all the time while the clock crosses the wrap, every
// reading a millisecond on.
TEST_F(XpTickCount64Test, ThreadsReadingAcrossTheWrapCountItOnce) {
    constexpr int Threads = 4;
    constexpr int Reads = 5000;
    clock_.step = 1;
    clock_.time = Wrap - uint64_t(Threads) * Reads / 2;
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::unique_ptr<ReaderThread>> readers;
    for (int t = 0; t < Threads; ++t) {
        readers.emplace_back(new ReaderThread{&count_, Reads, {}, go});
        readers.back()->results.reserve(Reads);
        readers.back()->handle = CreateThread(nullptr, 0, ReaderThread::Run, readers.back().get(), 0, nullptr);
        ASSERT_NE(nullptr, readers.back()->handle);
    }
    SetEvent(go);
    for (auto& reader : readers) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reader->handle, PatienceMs));
        CloseHandle(reader->handle);
    }
    CloseHandle(go);

    int wrongCounts = 0, goneBack = 0;
    for (size_t t = 0; t < readers.size(); ++t) {
        uint64_t previous = 0;
        for (const TimedRead& read : readers[t]->results) {
            // A reading within the read moved the time on: before <= count < after.
            if (read.count < read.before || read.count >= read.after) ++wrongCounts;
            if (read.count < previous) ++goneBack;
            previous = read.count;
        }
    }
    EXPECT_EQ(0, wrongCounts) << "counts that are not the time of a reading within their read";
    EXPECT_EQ(0, goneBack) << "counts that went back within one thread";
    uint64_t last = count_.Read();
    EXPECT_GT(last, Wrap) << "the wrap was lost";
    EXPECT_LT(last, 2 * Wrap) << "the wrap was counted twice";
}

// The frame timer and the fixed step on fake clocks (exact numbers) and on
// the real one, and the date and time texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <regex>
#include <vector>

#include "korvagl/korvagl.h"
#include "system/date_text.h"

namespace korva {
namespace {

// A driver whose clock only moves when told to, or by sleeping.
class FakeClockDriver : public TPlatformDriver {
public:
    int32_t now = 1000;
    std::vector<int32_t> sleeps;
    int32_t ElapsedMs() override { return now; }
    void SleepMs(int32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
};

class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        InitSystemAPI();
        saved_ = CurrentPlatformDriver();
        clock_ = New<FakeClockDriver>();
        CurrentPlatformDriver() = clock_;
    }
    void TearDown() override { CurrentPlatformDriver() = saved_; }
    Ref<TPlatformDriver> saved_;
    Ref<FakeClockDriver> clock_;
};

TEST_F(FrameTimerTest, ThePeriodIsTruncatedMilliseconds) {
    auto timer = NewFrameTimer(60);
    EXPECT_EQ(timer->period, 16);
    EXPECT_EQ(timer->lastTick, 1000);
    EXPECT_EQ(NewFrameTimer(1000)->period, 1);
    EXPECT_EQ(NewFrameTimer(0.5f)->period, 2000);
    EXPECT_EQ(TFrameTimer::NewFrameTimer(30)->period, 33);
}

TEST_F(FrameTimerTest, RatesThatGiveNoUsablePeriodAreRefused) {
    const auto refused = [](auto make, double hertz) {
        try {
            make(hertz);
            ADD_FAILURE() << hertz << " was accepted";
        } catch (const TRuntimeError& error) {
            EXPECT_EQ(error.text, String("Frame timer rate out of range")) << hertz;
        }
    };
    for (float hertz : {1000.5f, 5000.0f, 0.0f, -60.0f, std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::infinity(), 1e-12f}) {
        refused([](double h) { NewFrameTimer(static_cast<float>(h)); }, hertz);
    }
    // A fixed step reckons in microseconds: up to 1000000 Hz.
    EXPECT_EQ(NewFixedStep(1e6)->period, 0);
    for (double hertz : {1e6 + 1, 0.0, -60.0, std::numeric_limits<double>::quiet_NaN(), 1e-12})
        refused([](double h) { NewFixedStep(h); }, hertz);
}

TEST_F(FrameTimerTest, LateCallsCatchUpWithoutSleeping) {
    auto timer = NewFrameTimer(60);
    clock_->now += 50;
    EXPECT_EQ(WaitFrameTimer(timer), 3);
    EXPECT_EQ(timer->lastTick, 1048);
    EXPECT_TRUE(clock_->sleeps.empty());
}

TEST_F(FrameTimerTest, EarlyCallsSleepToTheNextTick) {
    auto timer = NewFrameTimer(60);
    clock_->now += 5;
    EXPECT_EQ(WaitFrameTimer(timer), 1);
    ASSERT_EQ(clock_->sleeps.size(), 1u);
    EXPECT_EQ(clock_->sleeps[0], 11);
    EXPECT_EQ(timer->lastTick, 1016);
    // Right at the boundary: one tick, no sleep.
    clock_->now = 1032;
    EXPECT_EQ(WaitFrameTimer(timer), 1);
    EXPECT_EQ(clock_->sleeps.size(), 1u);
    EXPECT_EQ(timer->lastTick, 1032);
}

TEST_F(FrameTimerTest, TicksCountAcrossTheClockWrap) {
    clock_->now = -10;  // 2^32 - 10 ms after the clock started
    auto timer = NewFrameTimer(100);
    clock_->now = 15;   // the clock wrapped: 25 ms later
    EXPECT_EQ(WaitFrameTimer(timer), 2);
    EXPECT_EQ(timer->lastTick, 10);
    clock_->now = std::numeric_limits<int32_t>::max() - 3;
    timer->lastTick = clock_->now;
    clock_->now = std::numeric_limits<int32_t>::min() + 6;  // 10 ms on, across the sign
    EXPECT_EQ(WaitFrameTimer(timer), 1);
    EXPECT_TRUE(clock_->sleeps.empty());
}

TEST_F(FrameTimerTest, TheNullTimerRaises) {
    EXPECT_THROW(WaitFrameTimer(Ref<TFrameTimer>()), TNullObjectFault);
}

// A clock source that moves only when told to, or by sleeping.
class FakeClock : public detail::TClockSource {
public:
    int64_t now = 5'000'000;  // microseconds
    int sleeps = 0;
    int64_t ElapsedUs() override { return now; }
    void SleepMs(int32_t ms) override {
        ++sleeps;
        now += int64_t{ms} * 1000;
    }
};

class FixedStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitSystemAPI();
        saved_ = detail::CurrentClockSource();
        clock_ = New<FakeClock>();
        detail::CurrentClockSource() = clock_;
    }
    void TearDown() override { detail::CurrentClockSource() = saved_; }
    Ref<detail::TClockSource> saved_;
    Ref<FakeClock> clock_;
};

TEST_F(FixedStepTest, EveryTimingCallReadsTheClockSource) {
    clock_->now = 7'654'321;
    EXPECT_EQ(ElapsedUs(), 7'654'321);
    EXPECT_EQ(ElapsedMs(), 7654);
    EXPECT_EQ(NewFrameTimer(60)->lastTick, 7654);
    SleepMs(3);
    EXPECT_EQ(ElapsedUs(), 7'657'321);
    clock_->now = -1;  // milliseconds wrap like the 32-bit counter
    EXPECT_EQ(ElapsedMs(), -1);
}

TEST_F(FixedStepTest, SixHundredStepsAtSixtyHertzTakeTenSeconds) {
    const int64_t start = clock_->now;
    auto step = NewFixedStep(60);
    auto frames = NewFrameTimer(60);
    EXPECT_EQ(step->period, 16);
    // Frames of uneven length, some longer than several steps: each call
    // hands out exactly the boundaries passed since the start, sleeping to
    // the next one (never short of it) when none has passed.
    int64_t handed = 0;
    for (int i = 0; clock_->now - start < 9'900'000; ++i) {
        clock_->now += (i * 7919) % 53'000;
        const int32_t ticks = WaitFrameTimer(step);
        EXPECT_GE(ticks, 1);
        handed += ticks;
        ASSERT_EQ(handed, (clock_->now - start) * 60 / 1'000'000) << "frame " << i;
        EXPECT_EQ(step->lastTick, static_cast<int32_t>(step->BoundaryUs(handed) / 1000));
    }
    EXPECT_GT(clock_->sleeps, 0);
    clock_->now = start + 10'000'000;
    handed += WaitFrameTimer(step);
    EXPECT_EQ(handed, 600);
    EXPECT_EQ(step->BoundaryUs(600), clock_->now);
    // The millisecond frame timer ticks 62.5 times a second.
    EXPECT_EQ(WaitFrameTimer(frames), 625);
    // A rate that is no whole number of microseconds stays exact on average.
    auto odd = NewFixedStep(144);
    clock_->now += 60'000'000;
    EXPECT_EQ(WaitFrameTimer(odd), 144 * 60);
}

TEST(FrameTimerRealClockTest, PacesALoopOnTheSDLClock) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    InitSystemAPI();
    ASSERT_TRUE(DownCast<TSDLPlatformDriver>(CurrentPlatformDriver()));
    auto timer = NewFrameTimer(100);
    const int32_t start = ElapsedMs();
    const int32_t firstTick = timer->lastTick;
    int32_t ticks = 0;
    for (int i = 0; i < 5; ++i) {
        const int32_t t = WaitFrameTimer(timer);
        EXPECT_GE(t, 1);
        ticks += t;
    }
    const int32_t elapsed = ElapsedMs() - start;
    EXPECT_GE(elapsed, 49);  // five ticks of 10 ms from the timer's start
    EXPECT_EQ(timer->lastTick - firstTick, ticks * 10);  // whole periods
    // The microsecond clock is the same clock, finer.
    const int32_t ms = ElapsedMs();
    const int64_t us = ElapsedUs();
    EXPECT_LE(ms, us / 1000);
    EXPECT_LE(us / 1000 - ms, 2);
    int64_t later = ElapsedUs();
    while (later == us) later = ElapsedUs();
    EXPECT_LT(later - us, 1000);
    SleepMs(-5);  // nothing, at once
    SleepMs(0);
}

TEST(DateTextTest, DateAndTimeHaveTheirFixedShapes) {
    // The system's locale does not change the month names.
    setenv("LC_ALL", "C.utf8", 1);
    const std::time_t before = std::time(nullptr);
    const std::string date = DateText().ToBytes();
    const std::string time = TimeText().ToBytes();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(std::regex_match(date, std::regex(
                    "[0-3][0-9] (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4}")))
        << date;
    EXPECT_TRUE(std::regex_match(time, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"))) << time;
    // Both are local time at the moment of the call.
    auto format = [](std::time_t t, const char* f) {
        std::tm local{};
        localtime_r(&t, &local);
        char buffer[64];
        return std::string(buffer, std::strftime(buffer, sizeof buffer, f, &local));
    };
    EXPECT_TRUE(time == format(before, "%H:%M:%S") || time == format(after, "%H:%M:%S")) << time;
    EXPECT_TRUE(date == format(before, "%d %b %Y") || date == format(after, "%d %b %Y")) << date;
}

TEST(DateTextTest, SingleDigitHoursAndDaysArePadded) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t moment = 1709629503;  // 5 March 2024, 09:05:03 UTC
    EXPECT_EQ(detail::TimeTextAt(moment), String("09:05:03"));
    EXPECT_EQ(detail::DateTextAt(moment), String("05 Mar 2024"));
    EXPECT_EQ(detail::DateTextAt(1703980800), String("31 Dec 2023"));
}

}  // namespace
}  // namespace korva

// The display on a private X server: mode list, full screen and windowed
// displays, closing, the cursor; frame pacing against a clock of the test's
// own; the abstract driver.
#include <gtest/gtest.h>

#include <SDL.h>

#include "graphics/gl_native.h"
#include "tests/graphics/gl_test_support.h"

namespace korva {
namespace {

using test::Near;
using test::PixelAt;

std::string TextOf(const TRuntimeError& e) { return e.text.ToBytes(); }

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override { test::UseXvfbVideo(); }
    void TearDown() override { CloseGraphics(); }
    static SDL_Window* Window() { return SDL_GL_GetCurrentWindow(); }
};

TEST_F(DisplayTest, ModesComeFromTheDisplay) {
    ASSERT_GE(ModeCount(), 1);
    int32_t w, h, d, hz;
    ModeAt(0, w, h, d, hz);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(d, 24);  // never below 16 bits
    EXPECT_THROW(ModeAt(ModeCount(), w, h, d, hz), TArrayIndexFault);
    EXPECT_THROW(ModeAt(-1, w, h, d, hz), TArrayIndexFault);
    EXPECT_EQ(HasDisplayMode(0, 0, 0, 0), 1);
    EXPECT_EQ(HasDisplayMode(800, 600, 0, 0), 1);
    EXPECT_EQ(HasDisplayMode(800, 600, 24, 0), 1);
    EXPECT_EQ(HasDisplayMode(800, 600, 16, 0), 0);
    EXPECT_EQ(HasDisplayMode(1024, 768, 0, 0), 0);
    auto saved = GraphicsModes();
    GraphicsModes().clear();
    EXPECT_EQ(HasDisplayMode(0, 0, 0, 0), 0);
    GraphicsModes() = saved;
}

TEST_F(DisplayTest, FullScreenNeedsAListedSize) {
    try {
        OpenGraphics(1024, 768, 16, 60);
        ADD_FAILURE() << "no error";
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(TextOf(e), "Graphics mode does not exist");
    }
    EXPECT_FALSE(detail::glOpen);
    EXPECT_EQ(DisplayWidth(), 0);
    // A window is never checked against the list.
    OpenGraphics(1024, 700, 0, 60);
    EXPECT_EQ(DisplayWidth(), 1024);
}

TEST_F(DisplayTest, FullScreenTakesTheListedModeWhateverTheDepth) {
    OpenGraphics(800, 600, 16, 60);  // the server has 24 bits and no refresh rate
    ASSERT_NE(Window(), nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(Window()), "KorvaGL Application");
    EXPECT_TRUE(SDL_GetWindowFlags(Window()) & SDL_WINDOW_FULLSCREEN);
    // Losing the focus minimises the window and gives the desktop its mode
    // back (a window manager does the minimising, so only the request is seen here).
    EXPECT_TRUE(SDL_GetHintBoolean(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, SDL_FALSE));
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(Window(), &w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    SetDrawColor(0, 255, 0);
    DrawRect(799, 599, 1, 1);
    EXPECT_TRUE(Near(PixelAt(799, 599), 0, 255, 0, 0));
    EXPECT_TRUE(Near(PixelAt(0, 0), 0, 0, 0, 0));
}

TEST_F(DisplayTest, WindowsHaveExactlyTheClientArea) {
    OpenGraphics(640, 480, 0, 0);
    SDL_Window* first = Window();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(first), "KorvaGL Window");
    EXPECT_FALSE(SDL_GetWindowFlags(first) & SDL_WINDOW_FULLSCREEN);
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(first, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    const Uint32 firstId = SDL_GetWindowID(first);

    // The window's close request is ignored.
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = firstId;
    SDL_PushEvent(&close);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    PumpEvents();
    EXPECT_EQ(SDL_GetWindowFromID(firstId), first);

    // A second display closes the first.
    OpenGraphics(320, 200, 0, 0);
    EXPECT_EQ(SDL_GetWindowFromID(firstId), nullptr);
    SDL_GL_GetDrawableSize(Window(), &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
}

TEST_F(DisplayTest, ClosingKeepsDepthHertzAndSettings) {
    OpenGraphics(800, 600, 32, 75);
    SetDrawColor(1, 2, 3);
    const Uint32 id = SDL_GetWindowID(Window());
    CloseGraphics();
    EXPECT_EQ(SDL_GetWindowFromID(id), nullptr);
    EXPECT_EQ(DisplayWidth(), 0);
    EXPECT_EQ(DisplayHeight(), 0);
    int32_t w, h, d, hz;
    DisplaySettings(w, h, d, hz);
    EXPECT_EQ(w + h, 0);
    EXPECT_EQ(d, 32);
    EXPECT_EQ(hz, 75);
    int32_t r, g, b;
    GetDrawColor(r, g, b);
    EXPECT_EQ(r + g + b, 6);
    CloseGraphics();  // nothing open: nothing happens
}

TEST_F(DisplayTest, PointerShownOrHiddenHoweverOften) {
    OpenGraphics(200, 100, 0, 0);
    HidePointer();
    HidePointer();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    ShowPointer();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    ShowPointer();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

// A clock that moves only when the driver sleeps.
class TestClock : public TPlatformDriver {
public:
    int32_t ElapsedMs() override {
        const int32_t t = now;
        now += step;
        return t;
    }
    void SleepMs(int32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
    void Poll() override {}
    int32_t now = -5000;  // negative: the clock's sign does not matter
    int32_t step = 0;     // how far each reading moves the clock
    std::vector<int32_t> sleeps;
};

class PacingTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseOffscreenVideo();
        saved_ = CurrentPlatformDriver();
        clock_ = New<TestClock>();
        CurrentPlatformDriver() = clock_;
    }
    void TearDown() override {
        CloseGraphics();
        CurrentPlatformDriver() = saved_;
    }
    Ref<TPlatformDriver> saved_;
    Ref<TestClock> clock_;
};

TEST_F(PacingTest, FramesFollowTheRefreshRateWithoutBursts) {
    OpenGraphics(64, 64, 0, 60);  // swaps take no time: sync is not confirmed
    const int32_t start = clock_->now;
    for (int n = 1; n <= 60; ++n) {
        FlipFrame();
        ASSERT_GE(clock_->now - start, n * 1000 / 60) << n;
        if (n == 59) {
            EXPECT_LT(clock_->now - start, 1000);
        }
    }
    EXPECT_EQ(clock_->now - start, 1000);

    // A stall: the late frame goes at once, then pacing resumes from the present.
    clock_->now += 500;
    clock_->sleeps.clear();
    FlipFrame();
    EXPECT_TRUE(clock_->sleeps.empty());
    for (int n = 0; n < 10; ++n) FlipFrame();
    ASSERT_EQ(clock_->sleeps.size(), 10u);
    for (int32_t ms : clock_->sleeps) {
        EXPECT_GE(ms, 16);
        EXPECT_LE(ms, 17);
    }
    // A clock that jumps back puts the budget more than a second ahead: resynchronised.
    clock_->now -= 5000;
    clock_->sleeps.clear();
    FlipFrame();
    EXPECT_TRUE(clock_->sleeps.empty());
    FlipFrame();
    EXPECT_EQ(clock_->sleeps.size(), 1u);
}

TEST_F(PacingTest, ANewDisplayRestartsTheBudget) {
    OpenGraphics(64, 64, 0, 60);
    for (int n = 0; n < 30; ++n) FlipFrame();
    OpenGraphics(64, 64, 0, 60);
    clock_->sleeps.clear();
    const int32_t start = clock_->now;
    for (int n = 0; n < 3; ++n) FlipFrame();
    EXPECT_EQ(clock_->now - start, 50);  // three frames at 60 Hz, not half a second more
    for (int32_t ms : clock_->sleeps) EXPECT_LE(ms, 17);
}

TEST_F(PacingTest, SyncTestEndsWithinSecondsWhateverTheRate) {
    clock_->step = 8;  // every swap takes 8 ms: never one period at 100000 Hz
    const int32_t start = clock_->now;
    OpenGraphics(64, 64, 0, 100000);
    EXPECT_LT(clock_->now - start, 2100);
}

TEST_F(PacingTest, NoPacingWithoutARefreshRateOrADisplay) {
    OpenGraphics(64, 64, 0, 0);
    for (int n = 0; n < 10; ++n) FlipFrame();
    EXPECT_TRUE(clock_->sleeps.empty());
    OpenGraphics(64, 64, 0, 60);
    CloseGraphics();
    FlipFrame();
    EXPECT_TRUE(clock_->sleeps.empty());
}

TEST(AbstractDriverTest, EveryOperationIsAbstract) {
    InitDrawDriver();
    TDrawDriver driver;
    EXPECT_THROW(driver.Graphics(1, 1, 0, 0), TAbstractMethodFault);
    EXPECT_THROW(driver.Flip(), TAbstractMethodFault);
    EXPECT_THROW(driver.SetBlend(1), TAbstractMethodFault);
    EXPECT_THROW(driver.DrawPoly({}, 0, 0, 0, 0), TAbstractMethodFault);
    EXPECT_THROW(driver.ReadScreenPixmap(0, 0, 1, 1), TAbstractMethodFault);
    TImageFrame frame;
    EXPECT_THROW(frame.Draw(0, 0, 1, 1, 0, 0), TAbstractMethodFault);
    EXPECT_THROW(frame.Lock(1, 1), TAbstractMethodFault);
    EXPECT_THROW(frame.Unlock(), TAbstractMethodFault);
    // Images with frames never made fail on the null object.
    InitImages();
    Ref<TImage> image = TImage::Create(4, 4, 2, 0);
    EXPECT_EQ(image->frames.size(), 2u);
    EXPECT_THROW(image->Frame(1), TNullObjectFault);
    EXPECT_EQ(TImage::Create(4, 4, -3, 0)->frames.size(), 0u);
}

}  // namespace
}  // namespace korva

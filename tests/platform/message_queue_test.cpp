// The per-thread message queue: synchronous sends, ordered posts, timers on an injected
// clock with discardable ticks, and handles that are checked before use.
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/platform/MessageLoop.h"
#include "corvane/platform/TestHooks.h"
#include "winuser.h"

namespace {

struct Seen {
    UINT msg;
    WPARAM w;
    LPARAM l;
};
std::vector<Seen> gSeen;

LRESULT CALLBACK RecordingProc(HWND, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_APP + 1) throw std::runtime_error("boom");
    gSeen.push_back({msg, w, l});
    return static_cast<LRESULT>(w * 10);
}

class MessageQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        gSeen.clear();
        corvane::platform::SetTickSource([this] { return now_; });
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "CorvaneTestWindow";
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(0, "CorvaneTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(hwnd_);
        corvane::platform::ProcessMessages();
        UnregisterClassA("CorvaneTestWindow", nullptr);
        corvane::platform::SetTickSource(nullptr);
    }
    std::uint64_t now_ = 1000;
    HWND hwnd_ = nullptr;
};

TEST_F(MessageQueue, SendRunsBeforeItReturns) {
    EXPECT_EQ(SendMessage(hwnd_, WM_APP + 0x0FFE, 4, 77), 40);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].l, 77);
}

TEST_F(MessageQueue, PostsRunLaterInPostingOrder) {
    for (WPARAM i = 1; i <= 3; ++i) EXPECT_TRUE(PostMessage(hwnd_, WM_APP + 0x0FFF, i, 0));
    EXPECT_TRUE(gSeen.empty());
    EXPECT_EQ(corvane::platform::ProcessMessages(), 3u);
    ASSERT_EQ(gSeen.size(), 3u);
    for (WPARAM i = 0; i < 3; ++i) EXPECT_EQ(gSeen[i].w, i + 1);
}

TEST_F(MessageQueue, TimersTickOnceWhenDueAndKeepTheirPeriod) {
    ASSERT_EQ(SetTimer(hwnd_, 42, 100, nullptr), 42u);
    EXPECT_EQ(corvane::platform::MillisecondsUntilNextTimer(), 100u);
    now_ += 99;
    EXPECT_EQ(corvane::platform::ProcessMessages(), 0u);
    now_ += 1;
    EXPECT_EQ(corvane::platform::ProcessMessages(), 1u);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].msg, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(gSeen[0].w, 42u);
    now_ += 550;  // several periods late: still a single tick
    EXPECT_EQ(corvane::platform::ProcessMessages(), 1u);
    EXPECT_TRUE(KillTimer(hwnd_, 42));
    EXPECT_FALSE(KillTimer(hwnd_, 42));
    now_ += 1000;
    EXPECT_EQ(corvane::platform::ProcessMessages(), 0u);
}

TEST_F(MessageQueue, DiscardedTicksNeverRun) {
    SetTimer(hwnd_, 1, 20, nullptr);
    SetTimer(hwnd_, 2, 50, nullptr);
    now_ += 60;
    MSG msg{};
    int discarded = 0;
    while (PeekMessage(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_REMOVE)) ++discarded;
    EXPECT_EQ(discarded, 2);
    EXPECT_EQ(corvane::platform::ProcessMessages(), 0u);
    EXPECT_TRUE(gSeen.empty());
    now_ += 20;  // the next period comes as usual
    EXPECT_EQ(corvane::platform::ProcessMessages(), 1u);
}

TEST_F(MessageQueue, PostedMessagesComeBeforeTimerTicks) {
    SetTimer(hwnd_, 5, 10, nullptr);
    now_ += 10;
    PostMessage(hwnd_, WM_APP, 9, 0);
    corvane::platform::ProcessMessages();
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].msg, static_cast<UINT>(WM_APP));
    EXPECT_EQ(gSeen[1].msg, static_cast<UINT>(WM_TIMER));
}

TEST_F(MessageQueue, ExceptionLeavesTheLoopAfterItsMessageWasRemoved) {
    PostMessage(hwnd_, WM_APP + 1, 0, 0);
    PostMessage(hwnd_, WM_APP, 2, 0);
    EXPECT_THROW(corvane::platform::ProcessMessages(), std::runtime_error);
    EXPECT_EQ(corvane::platform::ProcessMessages(), 1u);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].w, 2u);
}

TEST_F(MessageQueue, StaleAndForgedHandlesAreRefused) {
    PostMessage(hwnd_, WM_APP, 1, 0);
    SetTimer(hwnd_, 3, 10, nullptr);
    HWND old = hwnd_;
    ASSERT_TRUE(DestroyWindow(old));
    now_ += 100;
    EXPECT_EQ(corvane::platform::ProcessMessages(), 0u);  // its messages and timers went with it
    EXPECT_FALSE(IsWindow(old));
    EXPECT_FALSE(PostMessage(old, WM_APP, 0, 0));
    EXPECT_EQ(SendMessage(old, WM_APP, 1, 0), 0);
    EXPECT_EQ(SetTimer(old, 1, 10, nullptr), 0u);
    EXPECT_FALSE(PostMessage(reinterpret_cast<HWND>(std::uintptr_t{0xdeadbeef}), WM_APP, 0, 0));
    EXPECT_TRUE(gSeen.empty());
    hwnd_ = CreateWindowExA(0, "CorvaneTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                            nullptr);
}

TEST_F(MessageQueue, SendFromAnotherThreadRunsOnTheOwnerAndWaits) {
    std::thread::id ranOn;
    LRESULT result = 0;
    bool woken = false;
    corvane::platform::SetMessageWakeup([&] { woken = true; });
    std::thread sender([&] { result = SendMessage(hwnd_, WM_APP, 6, 0); });
    while (gSeen.empty()) {
        corvane::platform::ProcessMessages();
        std::this_thread::yield();
    }
    ranOn = std::this_thread::get_id();
    sender.join();
    EXPECT_EQ(result, 60);
    EXPECT_TRUE(woken);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    corvane::platform::SetMessageWakeup(nullptr);
}

TEST_F(MessageQueue, WindowCreationCanBeRefusedForTests) {
    corvane::platform::SetCreateWindowFailure(true);
    EXPECT_EQ(CreateWindowExA(0, "CorvaneTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    corvane::platform::SetCreateWindowFailure(false);
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
        nullptr);
}

}  // namespace

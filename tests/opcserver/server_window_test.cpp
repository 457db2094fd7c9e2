// The server window's message table: notifications, queued tasks, timer ticks and
// exceptions handed to HandleException.
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/platform/MessageLoop.h"
#include "corvane/platform/TestHooks.h"
#include "opcserver/OpcErrors.h"
#include "opcserver/ServerWindow.h"
#include "test_item_server.h"

using namespace corvane::opc;
using corvane::test::Simulator;

namespace {

class ServerWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        corvane::platform::SetTickSource([this] { return now_; });
        server_ = std::make_unique<Simulator>();
    }
    void TearDown() override {
        server_.reset();
        corvane::platform::ProcessMessages();
        corvane::platform::SetTickSource(nullptr);
    }
    std::uint64_t now_ = 5000;
    std::unique_ptr<Simulator> server_;
};

struct NotifyCase {
    TNotification code;
    const char* operation;
};

const NotifyCase kNotifications[] = {
    {TNotification::ClientConnected, "ClientConnected"},
    {TNotification::ClientDisconnected, "ClientDisconnected"},
    {TNotification::ClientNameChanged, "ClientNameChanged"},
    {TNotification::GroupAdded, "GroupAdded"},
    {TNotification::GroupRemoved, "GroupRemoved"},
    {TNotification::ItemAdded, "ItemAdded"},
    {TNotification::ItemRemoved, "ItemRemoved"},
};

class Notification : public ServerWindow, public ::testing::WithParamInterface<NotifyCase> {};

TEST_P(Notification, IsDeliveredBeforeTheSendReturns) {
    int object = 0;
    NotifyItemServer(GetParam().code, &object);
    ASSERT_EQ(server_->Calls.size(), 1u);
    EXPECT_EQ(server_->Calls[0].name, GetParam().operation);
    EXPECT_EQ(server_->Calls[0].object, &object);
}

INSTANTIATE_TEST_SUITE_P(Codes, Notification, ::testing::ValuesIn(kNotifications),
                         [](const auto& info) { return std::string(info.param.operation); });

TEST_F(ServerWindow, UnknownNotificationCodesDoNothing) {
    for (WPARAM code : {0u, 8u, 9u, 0xFFFFu})
        EXPECT_EQ(SendMessageA(server_->Window(), WM_OPC_NOTIFY, code, 0), 0);
    EXPECT_TRUE(server_->Calls.empty());
}

TEST(ServerWindowAlone, NotificationWithoutItemServerIsIgnored) {
    int object = 0;
    NotifyItemServer(TNotification::GroupAdded, &object);  // no window, no crash
    EXPECT_THROW(QueueServerTask(nullptr), EOpcError);
}

std::vector<int> gRan;
int gTasksAlive = 0;

class Task : public TOpcQueuedTask {
  public:
    explicit Task(int n, bool fail = false) : n_(n), fail_(fail) { ++gTasksAlive; }
    ~Task() override { --gTasksAlive; }
    void RunQueued() override {
        if (fail_) throw std::runtime_error("task failed");
        gRan.push_back(n_);
    }

  private:
    int n_;
    bool fail_;
};

TEST_F(ServerWindow, TasksRunLaterInOrderAndAreDestroyed) {
    gRan.clear();
    const DWORD a = QueueServerTask(std::make_unique<Task>(1));
    const DWORD b = QueueServerTask(std::make_unique<Task>(2));
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    EXPECT_TRUE(gRan.empty());
    EXPECT_EQ(PendingServerTasks(), 2u);
    corvane::platform::ProcessMessages();
    EXPECT_EQ(gRan, (std::vector<int>{1, 2}));
    EXPECT_EQ(gTasksAlive, 0);
    EXPECT_EQ(PendingServerTasks(), 0u);
}

TEST_F(ServerWindow, TaskMessageWithZeroOrAnUnknownIdDoesNothing) {
    gRan.clear();
    EXPECT_EQ(SendMessageA(server_->Window(), WM_OPC_TASK, 0, 0), 0);
    EXPECT_EQ(SendMessageA(server_->Window(), WM_OPC_TASK, 0xdeadbeef, 0), 0);
    EXPECT_TRUE(gRan.empty());
    EXPECT_TRUE(server_->Exceptions.empty());
}

TEST_F(ServerWindow, ExceptionReachesHandleExceptionAndTheProcedureReturnsOne) {
    QueueServerTask(std::make_unique<Task>(1, true));
    QueueServerTask(std::make_unique<Task>(2));
    gRan.clear();
    corvane::platform::ProcessMessages();
    EXPECT_EQ(server_->Exceptions, (std::vector<std::string>{"task failed"}));
    EXPECT_EQ(gRan, (std::vector<int>{2}));  // the next task still ran
    EXPECT_EQ(gTasksAlive, 0);
}

TEST_F(ServerWindow, TasksStillQueuedAreDestroyedUnrunWithTheWindow) {
    gRan.clear();
    QueueServerTask(std::make_unique<Task>(1));
    server_.reset();
    EXPECT_EQ(gTasksAlive, 0);
    corvane::platform::ProcessMessages();
    EXPECT_TRUE(gRan.empty());
}

class Ticker : public TOpcTimerTarget {
  public:
    int ticks = 0;
    bool fail = false;
    void UpdateTick() override {
        ++ticks;
        if (fail) throw std::runtime_error("tick failed");
    }
};

TEST_F(ServerWindow, TimerTicksReachTheirTargetByIdentity) {
    Ticker a, b;
    ASSERT_TRUE(StartServerTimer(a, 20));
    ASSERT_TRUE(StartServerTimer(b, 50));
    now_ += 20;
    corvane::platform::ProcessMessages();
    EXPECT_EQ(a.ticks, 1);
    EXPECT_EQ(b.ticks, 0);
    now_ += 30;
    corvane::platform::ProcessMessages();
    EXPECT_EQ(a.ticks, 2);
    EXPECT_EQ(b.ticks, 1);
    StopServerTimer(a);
    now_ += 100;
    corvane::platform::ProcessMessages();
    EXPECT_EQ(a.ticks, 2);
    StopServerTimer(b);
}

TEST_F(ServerWindow, DiscardedTicksNeverRun) {
    Ticker a, b;
    StartServerTimer(a, 20);
    StartServerTimer(b, 20);
    now_ += 25;
    DiscardServerTimerTicks();
    corvane::platform::ProcessMessages();
    EXPECT_EQ(a.ticks + b.ticks, 0);
    StopServerTimer(a);
    StopServerTimer(b);
}

class ThrowingHandler : public Simulator {
  public:
    void HandleException(const std::exception&) override { throw std::logic_error("handler"); }
};

TEST(ServerWindowHandler, FailingHandleExceptionDoesNotEscapeTheWindow) {
    ThrowingHandler server;
    QueueServerTask(std::make_unique<Task>(1, true));
    EXPECT_NO_THROW(corvane::platform::ProcessMessages());
    EXPECT_EQ(gTasksAlive, 0);
}

TEST_F(ServerWindow, TickOfADestroyedTargetFindsNothing) {
    DWORD id = 0;
    {
        Ticker gone;
        id = gone.Identity();
    }
    EXPECT_EQ(SendMessageA(server_->Window(), WM_TIMER, id, 0), 0);
    EXPECT_TRUE(server_->Exceptions.empty());
}

TEST_F(ServerWindow, TickExceptionGoesToHandleException) {
    Ticker a;
    a.fail = true;
    EXPECT_EQ(SendMessageA(server_->Window(), WM_TIMER, a.Identity(), 0), 1);
    EXPECT_EQ(server_->Exceptions, (std::vector<std::string>{"tick failed"}));
}

class Other : public TOpcObject {};

TEST(ObjectTable, IdsAreNonZeroUniqueAndTyped) {
    Other x, y;
    Ticker t;
    EXPECT_NE(x.Identity(), 0u);
    EXPECT_NE(x.Identity(), y.Identity());
    EXPECT_EQ(OpcObjects().Find<Other>(x.Identity()), &x);
    EXPECT_EQ(OpcObjects().Find<TOpcTimerTarget>(x.Identity()), nullptr);  // not a timer target
    EXPECT_EQ(OpcObjects().Find<TOpcTimerTarget>(t.Identity()), &t);
    EXPECT_EQ(OpcObjects().Find<Other>(0), nullptr);
    EXPECT_EQ(OpcObjects().Find<Other>(0xdeadbeef), nullptr);
    DWORD id = 0;
    {
        Other z;
        id = z.Identity();
    }
    EXPECT_EQ(OpcObjects().Find<Other>(id), nullptr);
}

}  // namespace

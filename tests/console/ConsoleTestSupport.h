#pragma once
// Shared fixture of the console tests: the whole console with a recording message
// service and a clock the test moves by hand.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ColourBox.h"
#include "Console.h"
#include "ConsoleStyle.h"
#include "QtMessageService.h"
#include "Uabout.h"
#include "Uwritebit.h"
#include "main.h"
#include "memory.h"
#include "module.h"

namespace corvane::console::test {

// A case's panel toggles ('C' "STL Commands", 'L' "Logs Simulator") as its name, e.g.
// "CodeLogs"; "NoToggle" for none.
inline std::string TogglesName(const char* toggles) {
    std::string name;
    for (const char* t = toggles; *t; ++t) name += *t == 'C' ? "Code" : "Logs";
    return name.empty() ? "NoToggle" : name;
}

class TRecordingMessages : public plc::TMessageService {
  public:
    void ShowMessage(std::string_view text) override { Messages.emplace_back(text); }
    std::vector<std::string> Messages;
};

class ConsoleTest : public ::testing::Test {
  protected:
    ConsoleTest() : console_(std::make_unique<TConsole>([this] { return now_; })) {}

    TForm1& Form1() { return console_->Form1(); }
    plc::TPLC& Plc() { return Form1().Plc(); }
    TConsole& Console() { return *console_; }

    template <typename T = QWidget>
    T* Child(QWidget& window, const char* name) {
        T* widget = window.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    TColourBox& Box(const char* name) { return *Child<TColourBox>(Form1(), name); }
    QAction& Action(const char* name) { return *Form1().findChild<QAction*>(name); }
    QGroupBox& Group(const char* name) { return *Child<QGroupBox>(Form1(), name); }
    // The panels' memos are built on first use; asking for one is a use.
    QPlainTextEdit& Memo(const char* name) {
        return std::string_view(name) == "Memo1" ? Form1().LogMemo() : Form1().ListingMemo();
    }
    // Everything shown since the last call.
    std::vector<std::string> TakeMessages() { return std::exchange(messages_.Messages, {}); }
    void AdvanceClock(std::chrono::milliseconds step) { now_ += step; }

    TRecordingMessages messages_;
    TMessageServiceScope scope_{messages_};
    std::chrono::nanoseconds now_{0};
    std::unique_ptr<TConsole> console_;
};

}  // namespace corvane::console::test

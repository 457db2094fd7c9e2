// GUI-thread time of AddItems, Write and RemoveItems of 1000 simulator items with the log
// panel attached and shown, each call measured until its log lines are on the panel.
// The reference in the same run appends every line to the panel as it comes.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"
#include "GroupHost.h"
#include "OPCpro.h"
#include "corvane/platform/Text.h"
#include "main.h"
#include "opcgroups/Group.h"
#include "opcgroups/GroupList.h"
#include "opcgroups/ServerItems.h"

using namespace corvane;
using namespace corvane::opc;

namespace {

constexpr int kItems = 1000;

// snprintf rather than a chain of string additions, which GCC 12 at -O3 warns about
// wrongly (-Wrestrict).
template <class... A>
std::string Printed(const char* format, A... args) {
    char text[48];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// Milliseconds of one call plus the event-loop turn that brings its lines to the panel.
template <class F>
double Timed(F&& call) {
    QElapsedTimer t;
    t.start();
    call();
    QCoreApplication::processEvents();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

struct Figures {
    double add, write, remove;
};

Figures Round(IOPCItemMgt& mgt, IOPCSyncIO& io, const std::vector<std::u16string>& ids) {
    std::vector<OPCITEMDEF> defs(kItems);
    for (int i = 0; i < kItems; ++i) {
        defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
        defs[i].bActive = TRUE;
    }
    std::vector<OPCHANDLE> handles;
    Figures f{};
    f.add = Timed([&] {
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        mgt.AddItems(kItems, defs.data(), &results, &errors);
        for (int i = 0; i < kItems; ++i) handles.push_back(results[i].hServer);
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
    });
    std::vector<VARIANT> values(kItems);
    for (VARIANT& v : values) {
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = VARIANT_TRUE;
    }
    f.write = Timed([&] {
        HRESULT* errors = nullptr;
        io.Write(kItems, handles.data(), values.data(), &errors);
        CoTaskMemFree(errors);
    });
    f.remove = Timed([&] {
        HRESULT* errors = nullptr;
        mgt.RemoveItems(kItems, handles.data(), &errors);
        CoTaskMemFree(errors);
    });
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallServerItemList();
    opcprovider::TSymbolTable symbols;
    std::vector<std::string> lines;
    for (int i = 0; i < kItems; ++i) lines.push_back(Printed("S%d M%d.%d R/W", i, i % 21, i % 8));
    symbols.Import(lines);
    auto server = std::make_unique<opcprovider::Simulator>(symbols);
    console::TConsole console;
    console::TForm1& form1 = console.Form1();
    server->AttachPlc(&form1.Plc());
    form1.show();
    form1.LogsSimulator1Click();
    auto* memo = form1.findChild<QPlainTextEdit*>("Memo1");
    bench::THost host;
    const std::u16string name = platform::WideFromNarrow("G");
    IUnknown* unk = nullptr;
    OPCHANDLE h = 0;
    DWORD revised = 0;
    host.List.AddGroup(name.c_str(), TRUE, 1000, 1, nullptr, nullptr, 0x409, &h, &revised,
                       IID_IOPCItemMgt, &unk);
    auto mgt = platform::ComPtr<IOPCItemMgt>::Adopt(static_cast<IOPCItemMgt*>(unk));
    platform::ComPtr<IOPCSyncIO> io;
    mgt->QueryInterface(IID_IOPCSyncIO, io.PutVoid());
    std::vector<std::u16string> ids;
    for (int i = 0; i < kItems; ++i) ids.push_back(platform::WideFromNarrow(Printed("S%d", i)));

    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    auto best = [&](auto sink) {
        server->SetLogSink(sink);
        Figures b{1e9, 1e9, 1e9};
        for (int r = 0; r < rounds; ++r) {
            memo->clear();
            const Figures f = Round(*mgt.Get(), *io.Get(), ids);
            b = {std::min(b.add, f.add), std::min(b.write, f.write), std::min(b.remove, f.remove)};
        }
        return b;
    };
    const Figures batched =
        best([&](const std::string& l) { form1.AppendLog(QString::fromStdString(l)); });
    const Figures perLine =
        best([&](const std::string& l) { memo->appendPlainText(QString::fromStdString(l)); });
    std::printf("1000 items, log panel shown, best of %d (ms):\n", rounds);
    std::printf("                     AddItems   Write   RemoveItems\n");
    std::printf("  one batch a call   %8.2f %7.2f %13.2f\n", batched.add, batched.write,
                batched.remove);
    std::printf("  a line at a time   %8.2f %7.2f %13.2f   (reference)\n", perLine.add,
                perLine.write, perLine.remove);
    server->SetLogSink({});
    mgt.Reset();
    io.Reset();
    return 0;
}

// Scan and timer-base speed. One benchmark item is one executed instruction (scans) or
// one TimerTick over all 256 timers.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "PLC_Instruction.h"
#include "ProgramImport.h"
#include "ProgramLoader.h"

using namespace corvane::plc;

namespace {

// A bit-logic program of about `size` instructions shaped like real rungs: a load, a few
// contacts, sometimes a parallel branch, then a coil or a set/reset.
int BuildProgram(TPLC& plc, TProgramLines& lines, int size, unsigned seed) {
    std::mt19937 rng(seed);
    auto bit = [&](const char* areas) {
        const char area = areas[rng() % 4];
        return std::string(1, area) + std::to_string(rng() % 21) + "." + std::to_string(rng() % 8);
    };
    int n = 0;
    auto add = [&](const std::string& mnemonic, const std::string& operand) {
        std::string line = mnemonic;
        line.resize(4, ' ');
        lines.Slots[static_cast<size_t>(++n)] = (line + operand).substr(0, kStoredLineLength);
    };
    while (n + 8 <= size) {
        add(rng() % 2 ? "LD" : "LDN", bit("IQMV"));
        const int contacts = 1 + static_cast<int>(rng() % 3);
        for (int c = 0; c < contacts; ++c) add(rng() % 2 ? "A" : "AN", bit("IQMV"));
        if (rng() % 3 == 0) {
            add("LD", bit("IMIM"));
            add("O", bit("QVQV"));
            add("ALD", "");
        }
        switch (rng() % 3) {
            case 0:
                add("=", bit("QMVQ"));
                break;
            case 1:
                add("S", bit("QMVQ") + ", 1");
                break;
            default:
                add("R", bit("QMVQ") + ", 1");
                break;
        }
    }
    plc.LineCount = n;
    plc.CompileProgram(lines);
    return n;
}

void BM_ExecuteScan(benchmark::State& state) {
    static TPLC plc;
    static TProgramLines lines;
    const int n = BuildProgram(plc, lines, static_cast<int>(state.range(0)), 224);
    for (auto _ : state) {
        plc.ExecuteScan();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ExecuteScan)->Arg(4000)->Arg(1000);

// The same kind of rungs as an exported program runs them, with what only the import
// brings mixed in: special bits, edges, NOT, counters and timer resets, about one
// instruction in four. Measured beside BM_ExecuteScan: the added ops sit in the same
// decoded fast path.
int BuildImportedProgram(TPLC& plc, int size, unsigned seed) {
    std::mt19937 rng(seed);
    auto bit = [&](const char* areas) {
        const char area = areas[rng() % 4];
        return std::string(1, area) + std::to_string(rng() % 21) + "." + std::to_string(rng() % 8);
    };
    std::string text = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNetwork 1\n";
    int n = 0;
    auto add = [&](const std::string& line) {
        text += "\t" + line + "\n";
        ++n;
    };
    while (n + 10 <= size) {
        add(std::string(rng() % 2 ? "LD" : "LDN") + "\t" + (rng() % 8 ? bit("IQMV") : "SM0.5"));
        add(std::string(rng() % 2 ? "A" : "AN") + "\t" + bit("IQMV"));
        switch (rng() % 4) {
            case 0:
                add("EU");
                add("=\t" + bit("QMVQ"));
                break;
            case 1:
                add("NOT");
                add("S\t" + bit("QMVQ") + ", 1");
                break;
            case 2:
                add("LD\t" + bit("IMIM"));
                add("CTU\tC" + std::to_string(rng() % 256) + ", 5");
                break;
            default:
                add("ED");
                add("R\tT" + std::to_string(rng() % 250) + ", 3");
                break;
        }
    }
    text += "END_ORGANIZATION_BLOCK\n";
    const TImportedProgram imported = ParseS7Export(text, {});
    if (!imported.Ok()) return 0;
    plc.InstallImportedProgram(imported.Instructions);
    return static_cast<int>(imported.Instructions.size());
}

void BM_ExecuteScanImported(benchmark::State& state) {
    static TPLC plc;
    const int n = BuildImportedProgram(plc, static_cast<int>(state.range(0)), 224);
    if (n == 0) {
        state.SkipWithError("the generated export was refused");
        return;
    }
    for (auto _ : state) {
        plc.ExecuteScan();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ExecuteScanImported)->Arg(4000);

void BM_ExecuteScanByText(benchmark::State& state) {
    static TPLC plc;
    static TProgramLines lines;
    const int n = BuildProgram(plc, lines, static_cast<int>(state.range(0)), 224);
    for (auto _ : state) {
        plc.ExecuteScanByText();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ExecuteScanByText)->Arg(4000);

// Worst case: every timer driven and enabled, half TON and half TOF.
void BM_TimerTickAllEnabled(benchmark::State& state) {
    static TPLC plc;
    for (int n = 0; n < kTimerCount; ++n) {
        TPLCTimer& t = plc.Timers[static_cast<size_t>(n)];
        t.Enable = true;
        t.Kind = n % 2 ? 'N' : 'F';
        t.Target = 1000 * (n % 7);
    }
    for (auto _ : state) {
        plc.TimerTick();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerTickAllEnabled);

void BM_TimerTickIdle(benchmark::State& state) {
    static TPLC plc;
    for (auto _ : state) {
        plc.TimerTick();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerTickIdle);

}  // namespace

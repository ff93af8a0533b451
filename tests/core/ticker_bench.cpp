// Rendering one ticker line: the display list and the hit map, as each
// showing of a line does.
#include <benchmark/benchmark.h>

#include "client/core/navlet.h"
#include "tests/support/test_kit.h"

namespace {

using navlet::TNavlet;

void RenderLine(benchmark::State& state, int32_t kind, int32_t buttons, const char* text) {
    navlet::testing::TTestKit tk;
    tk.module.hasModuleFile = false;
    TNavlet bar(tk.Kit());
    bar.msgQueue.clear();
    bar.PostMsg(kind, buttons, "%s", text);
    for (auto _ : state) {
        bar.msgPhase = 0;
        bar.msg_timerTimer();
        benchmark::DoNotOptimize(bar.msgHitMap->At(50, 8));
    }
}

void BM_RenderStatusLine(benchmark::State& state) {
    RenderLine(state, navlet::mkStatus, 0, "Navlet people online here: 12");
}

void BM_RenderInvitationWithButtons(benchmark::State& state) {
    RenderLine(state, navlet::mkInvite, navlet::MSG_BTN_ACCEPT | navlet::MSG_BTN_IGNORE,
               "marta was looking for you with this message: \"see you in the chat\"");
}

void BM_RenderServerLineAllButtons(benchmark::State& state) {
    RenderLine(state, navlet::mkServer, 7, "server notice");
}

BENCHMARK(BM_RenderStatusLine);
BENCHMARK(BM_RenderInvitationWithButtons);
BENCHMARK(BM_RenderServerLineAllButtons);

} // namespace

/* The cost of one Full installation, "Setup" pressed in process, with an
 * autodif.o as new as its source, so no compiler runs: the settings file,
 * the init resource file, the compile script, the header, the palette and
 * the class, on the real window under a live toolkit.  Run by hand
 * (build-dir/tests/run_bench, DISPLAY set), never by ctest. */
#include <gtest/gtest.h>

#include "toolkit.h"

#include <benchmark/benchmark.h>

#include <string>

#include "run_home.h"
#include "support.h"

namespace {

void FullInstallation(benchmark::State &state)
{
    vt::ScratchDir scratch;
    vt::EnvSetting tmpdir("TMPDIR", scratch.path());
    std::string home = scratch / "home";
    vt::MakePackageHome(home, true);
    vt::Enter(home);
    vt::PrepareWindow(1, home);
    vt::AlertLog alerts;
    for (auto _ : state) {
        SetupProc(NULL);
        if (alerts.count() != 0 || vt::ReadFile("init.cpf").size() != 6451) {
            state.SkipWithError(alerts.count() != 0 ? alerts.texts()[0].c_str() : "init.cpf not written");
            break;
        }
    }
    Nlm_Remove(wSetup);
    wSetup = NULL;
}
BENCHMARK(FullInstallation)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace

/* Vibrant's own main opens the display and calls this entry, so the
 * benchmark runs inside a live toolkit. */
extern "C" Nlm_Int2 Nlm_Main(void)
{
    int argc = static_cast<int>(Nlm_GetArgc());
    char **argv = Nlm_GetArgv();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

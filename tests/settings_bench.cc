/* The cost of one settings read with references: [Compiler] MAKERHS of the
 * template's settings file with KERNEL, SOURCE and TARGET filled in (an
 * empty SOURCE or TARGET would make the read fail): five references. */
#include <benchmark/benchmark.h>

#include "toolkit.h"

#include <string>

#include "support.h"

namespace {

void GetParamMakeRhs(benchmark::State &state)
{
    std::string rc;
    for (size_t i = 0; SetData[i] != NULL; i++)
        rc += std::string(SetData[i]) + "\n";
    vt::ScratchDir dir(rc);
    char kernel[] = "/opt/vartena/", source[] = "tmp_sys", target[] = "vart0001";
    if (!SetParam("Paths", "KERNEL", kernel) || !SetParam("Compiler", "SOURCE", source) ||
        !SetParam("Compiler", "TARGET", target)) {
        state.SkipWithError("cannot store the settings");
        return;
    }
    const std::string expected = "/opt/vartena/CompRhs tmp_sys vart0001 n";
    for (auto _ : state) {
        char *value = GetParam("Compiler", "MAKERHS");
        benchmark::DoNotOptimize(value);
        if (value == NULL || expected != value) {
            state.SkipWithError("unexpected MAKERHS");
            break;
        }
    }
}
BENCHMARK(GetParamMakeRhs)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();

// Throughput of the line reader alone.
#include <benchmark/benchmark.h>

#include <string>

#include "wizard/output_reader.h"

static void BM_OutputReader(benchmark::State& state) {
    std::string output;
    for (int i = 0; i < 2000; ++i) {
        if (i % 10 == 0)
            output += "line " + std::to_string(i) + " " + std::string(300, '0') + "\n";
        else if (i % 7 == 0)
            output += "\x1b[1;32mline " + std::to_string(i) + " ok\x1b[0m\n";
        else
            output += "line " + std::to_string(i) + ": installing component files into place\n";
    }
    for (auto _ : state) {
        OutputReader reader;
        size_t shown = 0;
        for (size_t at = 0; at < output.size(); at += 65536)
            shown +=
                reader.feed(output.data() + at, std::min<size_t>(65536, output.size() - at)).size();
        shown += reader.finish().size();
        benchmark::DoNotOptimize(shown);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * output.size());
}
BENCHMARK(BM_OutputReader);

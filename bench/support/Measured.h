// What every benchmark program of the project shares: the measured call that callgrind counts,
// manual timing around it, registration per size and the main loop.
//
// Two ways to run a program:
//   - wall time: Google Benchmark picks the iteration count; each iteration times only the
//     measured call (setting up and tearing down its tree or stream is left out);
//   - fixed work, for callgrind and the tests: QUENDAL_BENCH_ITEMS=K makes each benchmark of
//     size N run ceil(K / N) iterations, so instruction counts are repeatable.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>

namespace Quendal::Bench {

// The only frame callgrind counts in (--toggle-collect='*MeasuredWork*'): kept out of line so
// that the frame exists whatever the optimiser inlines around it.
template <typename Work>
[[gnu::noinline]] void MeasuredWork(Work& work) {
    work();
    benchmark::ClobberMemory();
}

// Runs work once: measured inside the loop, or unmeasured to warm the allocator and the caches
// before it (a warm-up must neither be timed nor reach the counted frame).
template <typename Work>
void Step(benchmark::State& state, bool measured, Work&& work) {
    if (!measured) {
        work();
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    MeasuredWork(work);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(spent.count());
}

inline std::int64_t FixedItems() {
    const char* items = std::getenv("QUENDAL_BENCH_ITEMS");
    return items == nullptr ? 0 : std::strtoll(items, nullptr, 10);
}

// Registers NAME/N for every size, each with its own iteration count in fixed-work mode.
inline void Register(const std::string& name, std::function<void(benchmark::State&)> body,
                     std::initializer_list<std::int64_t> sizes) {
    const std::int64_t items = FixedItems();
    for (const std::int64_t n : sizes) {
        auto* bench = benchmark::RegisterBenchmark(name.c_str(), body)
                          ->Arg(n)
                          ->UseManualTime()
                          ->Unit(benchmark::kMicrosecond);
        if (items > 0) {
            bench->Iterations((items + n - 1) / n);
        }
    }
}

inline int Run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace Quendal::Bench

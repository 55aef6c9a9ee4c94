// The image filters on a 1024 x 1024 picture (64 x 64 when CONSOLE_BENCH_SMALL is set), each
// through the processor chain as a bitmap runs it, beside the floor: a copy of the same pixels
// into fresh memory. Reported as the ratio x_floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "ui/ImageProcessors.h"

namespace {

int Side() { return std::getenv("CONSOLE_BENCH_SMALL") ? 64 : 1024; }

winport::PixelBuffer Picture(int side)
{
    winport::PixelBuffer p(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) p.At(x, y) = RGBX{BYTE(x * 7), BYTE(y * 3), BYTE(x ^ y), 0};
    return p;
}

double CopySeconds(const winport::PixelBuffer& src)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<RGBX> copy(src.Count());
    std::memcpy(copy.data(), src.Data(), src.Count() * sizeof(RGBX));
    benchmark::DoNotOptimize(copy.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RunFilter(benchmark::State& state, const std::function<std::unique_ptr<C32BitImageProcessor>()>& make)
{
    const winport::PixelBuffer src = Picture(Side());
    double seconds = 0, floorSeconds = 0;
    for (auto _ : state) {
        auto processor = make();
        winport::PixelBuffer out;
        const auto start = std::chrono::steady_clock::now();
        ProcessPixelChain(src, {processor.get()}, RGB(255, 255, 255), out);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(out.Data());
        floorSeconds += CopySeconds(src);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * src.Count() * sizeof(RGBX)));
    state.counters["x_floor"] = seconds / floorSeconds;
}

#define FILTER_BENCHMARK(name, expr)                                                                   \
    void BM_##name(benchmark::State& state)                                                            \
    {                                                                                                  \
        RunFilter(state, [] { return std::unique_ptr<C32BitImageProcessor>(expr); });                  \
    }                                                                                                  \
    BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)->UseRealTime()

FILTER_BENCHMARK(Rotate30, new CImageRotator(30, TRUE));
FILTER_BENCHMARK(Rotate90, new CImageRotator(90, FALSE));
FILTER_BENCHMARK(Shear, new CImageShearer(100, 50, TRUE));
FILTER_BENCHMARK(Gray, new CImageGrayer());
FILTER_BENCHMARK(Shade, new CImageShader(40, false, RGB(10, 200, 30)));
FILTER_BENCHMARK(Blur, new CImageBlurrer(5));
FILTER_BENCHMARK(Sharpen, new CImageSharpener(5));
FILTER_BENCHMARK(Negate, new CImageNegator());
FILTER_BENCHMARK(Flip, new CImageFlipper(TRUE, TRUE));
FILTER_BENCHMARK(ReplaceColour, new CColorReplacer(RGB(0, 0, 0), RGB(255, 0, 0)));

}  // namespace

BENCHMARK_MAIN();

// Posting and dispatching window messages: within one thread (beside a plain deque of the
// same messages, the floor), and to a window of this program's endpoint folder through a
// datagram socket (beside a bare socket send of the same bytes).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "winport/Window.h"

namespace {

int64_t batch() { return std::getenv("CONSOLE_BENCH_SMALL") ? 100 : 5000; }

struct Runtime {
    Runtime()
    {
        char pattern[] = "/tmp/console-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        ::setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    }
    ~Runtime()
    {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::string root;
};

void BM_PostAndDispatch(benchmark::State& state)
{
    Runtime runtime;
    int64_t seen = 0;
    HWND w = winport::CreateMessageWindow("Bench", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_USER) ++seen;
        return 0;
    }, {nullptr, false});
    const int64_t n = batch();
    for (auto _ : state) {
        for (int64_t i = 0; i < n; ++i) PostMessageA(w, WM_USER, static_cast<WPARAM>(i), 0);
        winport::MessageLoop::Current().RunUntilIdle();
    }
    benchmark::DoNotOptimize(seen);
    state.SetItemsProcessed(state.iterations() * n);
    DestroyWindow(w);
}
BENCHMARK(BM_PostAndDispatch);

void BM_DequeFloor(benchmark::State& state)
{
    std::deque<MSG> queue;
    int64_t seen = 0;
    const int64_t n = batch();
    for (auto _ : state) {
        for (int64_t i = 0; i < n; ++i) queue.push_back(MSG{nullptr, WM_USER, static_cast<WPARAM>(i), 0, 0, {}});
        while (!queue.empty()) {
            seen += static_cast<int64_t>(queue.front().wParam);
            queue.pop_front();
        }
    }
    benchmark::DoNotOptimize(seen);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DequeFloor);

// A post to another program's window: the endpoint is a socket bound in the folder under
// another process id (1, which always runs), read back here after each post.
void BM_PostToOtherProgram(benchmark::State& state)
{
    Runtime runtime;
    std::string dir = winport::RuntimeDir() + "/windows";
    std::filesystem::create_directories(dir);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = dir + "/Bench.1.00ABCDEF";
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    HWND target = UlongToHwnd(0x00ABCDEF);
    char in[512];
    for (auto _ : state) {
        if (!PostMessageA(target, WM_USER, 1, 2)) state.SkipWithError("post failed");
        benchmark::DoNotOptimize(::recv(fd, in, sizeof in, MSG_DONTWAIT));
    }
    ::close(fd);
}
BENCHMARK(BM_PostToOtherProgram);

// The floor of the above: one datagram of the same size through the same socket kind.
void BM_DatagramFloor(benchmark::State& state)
{
    int fds[2];
    ::socketpair(AF_UNIX, SOCK_DGRAM, 0, fds);
    char bytes[34] = {};
    char in[64];
    for (auto _ : state) {
        ::send(fds[0], bytes, sizeof bytes, MSG_DONTWAIT);
        benchmark::DoNotOptimize(::recv(fds[1], in, sizeof in, MSG_DONTWAIT));
    }
    ::close(fds[0]);
    ::close(fds[1]);
}
BENCHMARK(BM_DatagramFloor);

}  // namespace

BENCHMARK_MAIN();

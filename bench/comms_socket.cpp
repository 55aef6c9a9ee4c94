// 1 MB written and read back through the socket adaptor (64 KB blocks to a peer that echoes
// them), beside the same bytes through send and recv on the same kind of connection. The
// ratio is the adaptor's cost over the socket's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comms/GenericSocketAdaptor.h"

namespace {

size_t totalBytes() { return std::getenv("CONSOLE_BENCH_SMALL") ? (64u << 10) : (1u << 20); }
constexpr size_t kBlock = 64u << 10;

// A private registry, so that the adaptor reads no settings of the user's.
struct Registry {
    std::string dir;
    Registry()
    {
        char pattern[] = "/tmp/comms-bench-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        dir = made ? made : "/tmp/comms-bench";
        ::setenv("WINPORT_REGISTRY_DIR", dir.c_str(), 1);
    }
    ~Registry()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// A connected pair whose far end echoes everything on its own thread until closed.
struct EchoPair {
    int near = -1;
    int far = -1;
    std::thread echo;
    EchoPair()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
        near = fds[0];
        far = fds[1];
        echo = std::thread([this] {
            std::vector<char> buffer(kBlock);
            for (;;) {
                const ssize_t n = ::recv(far, buffer.data(), buffer.size(), 0);
                if (n <= 0) return;
                for (ssize_t put = 0; put < n;) {
                    const ssize_t m = ::send(far, buffer.data() + put, static_cast<size_t>(n - put), MSG_NOSIGNAL);
                    if (m <= 0) return;
                    put += m;
                }
            }
        });
    }
    ~EchoPair()
    {
        ::shutdown(near, SHUT_RDWR);
        if (echo.joinable()) echo.join();
        ::close(far);
    }
};

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void plainRoundTrip(int fd, std::vector<BYTE>& block)
{
    for (size_t done = 0; done < totalBytes(); done += kBlock) {
        for (size_t put = 0; put < kBlock;) put += static_cast<size_t>(::send(fd, block.data() + put, kBlock - put, MSG_NOSIGNAL));
        for (size_t got = 0; got < kBlock;) {
            const ssize_t n = ::recv(fd, block.data() + got, kBlock - got, 0);
            if (n <= 0) return;
            got += static_cast<size_t>(n);
        }
    }
}

void adaptorRoundTrip(CGenericSocketAdaptor& adaptor, std::vector<BYTE>& block)
{
    for (size_t done = 0; done < totalBytes(); done += kBlock) {
        adaptor.WriteBytes(block.data(), static_cast<DWORD>(kBlock));
        DWORD read = 0;
        adaptor.ReadBytes(block.data(), static_cast<DWORD>(kBlock), read);
    }
}

void BM_AdaptorWriteAndReadBack(benchmark::State& state)
{
    Registry registry;
    EchoPair adaptorPair;
    EchoPair plainPair;
    CGenericSocketAdaptor adaptor(adaptorPair.near, /*bOwnsSocket=*/FALSE);
    std::vector<BYTE> block(kBlock, 0x5A);
    double adaptorTotal = 0;
    double plainTotal = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        adaptorRoundTrip(adaptor, block);
        adaptorTotal += seconds(std::chrono::steady_clock::now() - start);
        start = std::chrono::steady_clock::now();
        plainRoundTrip(plainPair.near, block);
        plainTotal += seconds(std::chrono::steady_clock::now() - start);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes() * 2));
    state.counters["plain_ms"] = plainTotal * 1000 / static_cast<double>(state.iterations());
    state.counters["adaptor_ms"] = adaptorTotal * 1000 / static_cast<double>(state.iterations());
    state.counters["ratio"] = plainTotal > 0 ? adaptorTotal / plainTotal : 0;
}
BENCHMARK(BM_AdaptorWriteAndReadBack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

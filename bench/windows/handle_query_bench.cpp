// The system handle-list query on a machine whose list outgrows the first
// guess: this process opens enough handles for ~3 MiB of entries, then times
// the first query (which starts from the built-in size and must ask again, as
// every query did before the size was remembered) and the following ones.
// Run it under Wine or Windows: handle_query_bench.exe [extra handles] [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/system.hpp"

#include <windows.h>

int main(int argc, char** argv) {
    const int extra = argc > 1 ? std::atoi(argv[1]) : 80000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
    std::vector<HANDLE> handles;
    for (int i = 0; i < extra; ++i) {
        HANDLE h = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &h, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            break;
        handles.push_back(h);
    }
    using clock = std::chrono::steady_clock;
    auto time_one = [] {
        auto start = clock::now();
        ac::HandleQuery q = ac::native_system().query_system_handles();
        double ms = std::chrono::duration<double, std::milli>(clock::now() - start).count();
        return std::pair(ms, q.handles.size());
    };
    auto [first, entries] = time_one();
    double total = 0;
    for (int i = 0; i < rounds; ++i) total += time_one().first;
    std::printf("entries %zu  first query %.2f ms  later queries %.2f ms each (%d rounds)\n", entries, first,
                total / rounds, rounds);
    for (HANDLE h : handles) CloseHandle(h);
    return 0;
}

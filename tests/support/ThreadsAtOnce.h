#ifndef TARNEL_TESTS_THREADSATONCE_H
#define TARNEL_TESTS_THREADSATONCE_H

// Test support: many threads released together, so that races have a
// chance to happen (and ThreadSanitizer a chance to see them).

#include <atomic>
#include <thread>
#include <vector>

// Runs `work(thread index)` on `count` threads that all start together.
template <typename Work>
void OnThreadsAtOnce(int count, Work work)
{
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&go, &work, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            work(t);
        });
    }
    go = true;
    for (std::thread& th : threads) {
        th.join();
    }
}

#endif

// The 64 KB build's guards of function-local statics: of threads racing to
// a static, exactly one initialises it and none goes on before it is done;
// an initialiser that gives up lets the next one try.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

// Compiled here under other names, so the test program keeps libstdc++'s own.
#define __cxa_guard_acquire size_guard_acquire
#define __cxa_guard_release size_guard_release
#define __cxa_guard_abort size_guard_abort
#include "size/program/static_guards.cpp"
#undef __cxa_guard_acquire
#undef __cxa_guard_release
#undef __cxa_guard_abort

TEST(StaticGuards, OneThreadInitialisesAndTheOthersWaitForIt)
{
    for (int round = 0; round < 50; ++round) {
        uint64_t guard = 0;
        std::atomic<int> initialisers{0}, value{0}, seen_early{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t)
            threads.emplace_back([&] {
                // What the compiler emits around a local static's initialiser.
                if (!__atomic_load_n(reinterpret_cast<char*>(&guard), __ATOMIC_ACQUIRE) &&
                    size_guard_acquire(&guard)) {
                    ++initialisers;
                    std::this_thread::yield();
                    value = 42;
                    size_guard_release(&guard);
                }
                if (value != 42)
                    ++seen_early;
            });
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(initialisers, 1);
        EXPECT_EQ(seen_early, 0);
    }
}

TEST(StaticGuards, AnAbortedInitialisationIsTriedAgain)
{
    uint64_t guard = 0;
    ASSERT_EQ(size_guard_acquire(&guard), 1);
    size_guard_abort(&guard);
    ASSERT_EQ(size_guard_acquire(&guard), 1);
    size_guard_release(&guard);
    EXPECT_EQ(size_guard_acquire(&guard), 0);
}

// Items spread over worker threads, consumed in order on the calling thread.
#include "ordered_work.h"

#include <thread>
#include <vector>

#if defined(_GLIBCXX_HAS_GTHREADS) || defined(_MSC_VER) || defined(_LIBCPP_VERSION)
#define HALLIMOR_CHECK_THREADS 1
#include <condition_variable>
#include <mutex>
#else
#define HALLIMOR_CHECK_THREADS 0
#endif

namespace {

void RunOneByOne(size_t count, const std::function<void(size_t, unsigned)>& produce,
                 const std::function<void(size_t)>& consume) {
    for (size_t i = 0; i < count; ++i) {
        produce(i, 0);
        consume(i);
    }
}

} // namespace

#if HALLIMOR_CHECK_THREADS

unsigned WorkerCount() {
    unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void RunInOrder(size_t count, unsigned workers, size_t window,
                const std::function<void(size_t index, unsigned worker)>& produce,
                const std::function<void(size_t index)>& consume) {
    if (workers <= 1 || count <= 1 || window == 0) {
        RunOneByOne(count, produce, consume);
        return;
    }
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0;     // the next index a worker takes
    size_t consumed = 0; // the indexes below it are consumed
    std::vector<char> done(window, 0);
    auto work = [&](unsigned worker) {
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> held(lock);
                if (next >= count) {
                    return;
                }
                index = next++;
                changed.wait(held, [&] { return index < consumed + window; });
            }
            produce(index, worker);
            {
                std::lock_guard<std::mutex> held(lock);
                done[index % window] = 1;
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) {
        threads.emplace_back(work, w);
    }
    for (size_t i = 0; i < count; ++i) {
        {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [&] { return done[i % window] != 0; });
        }
        consume(i);
        {
            std::lock_guard<std::mutex> held(lock);
            done[i % window] = 0;
            consumed = i + 1;
        }
        changed.notify_all();
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

#else

unsigned WorkerCount() {
    return 1;
}

void RunInOrder(size_t count, unsigned, size_t,
                const std::function<void(size_t index, unsigned worker)>& produce,
                const std::function<void(size_t index)>& consume) {
    RunOneByOne(count, produce, consume);
}

#endif

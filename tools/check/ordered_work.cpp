// Items spread over worker threads, consumed in order.
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
    std::condition_variable consumedMore;
    size_t next = 0;        // the next index a worker takes
    size_t consumed = 0;    // the indexes below it are consumed
    bool consuming = false; // a worker is consuming
    std::vector<char> done(window, 0);
    // The worker that finds the next index to consume done consumes it and
    // every done one after it; the others go on producing meanwhile.
    auto work = [&](unsigned worker) {
        std::unique_lock<std::mutex> held(lock);
        while (next < count) {
            size_t index = next++;
            consumedMore.wait(held, [&] { return index < consumed + window; });
            held.unlock();
            produce(index, worker);
            held.lock();
            done[index % window] = 1;
            if (consuming) {
                continue;
            }
            consuming = true;
            while (consumed < count && done[consumed % window] != 0) {
                size_t ready = consumed;
                held.unlock();
                consume(ready);
                held.lock();
                done[ready % window] = 0;
                consumed = ready + 1;
                consumedMore.notify_all();
            }
            consuming = false;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) {
        threads.emplace_back(work, w);
    }
    work(0);
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

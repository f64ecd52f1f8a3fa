// Work on many items spread over the machine's cores, with the results
// taken in the items' order: the log verb reads a fleet's logs this way.
//
// Where the standard library has threads (the host build, MSVC, MinGW-w64's
// POSIX thread model) the items are spread over std::thread workers. Debian's
// default MinGW-w64 compiler (GCC 12, win32 thread model) has no std::thread:
// there the items are done one after the other on the calling thread, with
// the same results.
#ifndef HALLIMOR_TOOLS_CHECK_ORDERED_WORK_H
#define HALLIMOR_TOOLS_CHECK_ORDERED_WORK_H

#include <stddef.h>

#include <functional>

// The number of workers that the machine's cores allow; 1 where the
// standard library has no threads.
unsigned WorkerCount();

// Calls produce(index, worker) once for every index below count, on up to
// workers threads, the calling thread among them (worker below workers), and
// consume(index) for every index in index order, one at a time, each after
// its produce, on whichever of those threads finds it next. No index is
// produced while the one window places before it is not yet consumed, so a
// result may live in slot index % window of the caller's storage.
void RunInOrder(size_t count, unsigned workers, size_t window,
                const std::function<void(size_t index, unsigned worker)>& produce,
                const std::function<void(size_t index)>& consume);

#endif

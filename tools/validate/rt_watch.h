// Watches the calling thread for heap allocations and lock acquisitions. The validator
// defines malloc, calloc, realloc, free, the aligned allocators, every operator new and
// delete and the pthread lock functions itself; a module's calls land there and are passed
// on to the next definition (the C library's or a sanitizer's), counted while a Scope is
// alive on the calling thread and the thread is not inside the host callback.
#pragma once

#include <string>

namespace rtwatch {

struct Counts {
    long mallocs = 0;    // malloc, and the aligned allocators
    long callocs = 0;
    long reallocs = 0;
    long frees = 0;
    long news = 0;       // every operator new
    long deletes = 0;    // every operator delete
    long locks = 0;      // pthread_mutex_lock, pthread_rwlock_rdlock and _wrlock (a try-lock never waits)

    long total() const { return mallocs + callocs + reallocs + frees + news + deletes + locks; }
    std::string describe() const;  // "2 malloc, 1 pthread_mutex_lock"
};

// Counting is on for the calling thread while a Scope lives; scopes do not nest.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    Counts counts() const;
};

// Whether calls really reach the definitions above: false under a tool that replaces the
// allocator of the whole process (valgrind does).
bool interposerActive();

}  // namespace rtwatch

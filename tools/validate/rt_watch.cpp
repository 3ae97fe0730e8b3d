#include "rt_watch.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/vst_host.h"

namespace rtwatch {
namespace {

// Initial-exec thread-locals of the executable live in static TLS: reading them never
// allocates, which matters inside malloc.
__attribute__((tls_model("initial-exec"))) thread_local bool watching = false;
__attribute__((tls_model("initial-exec"))) thread_local Counts watched;

struct Next {
    void* (*malloc)(std::size_t);
    void* (*calloc)(std::size_t, std::size_t);
    void* (*realloc)(void*, std::size_t);
    void (*free)(void*);
    int (*posixMemalign)(void**, std::size_t, std::size_t);
    void* (*alignedAlloc)(std::size_t, std::size_t);
    void* (*memalign)(std::size_t, std::size_t);
    int (*mutexLock)(pthread_mutex_t*);
    int (*rdlock)(pthread_rwlock_t*);
    int (*wrlock)(pthread_rwlock_t*);
};
Next next;
std::atomic<int> resolved{0};  // 0 not yet, 1 in progress, 2 done
pthread_t resolver;

// dlsym may allocate while it looks the allocator up; those few early blocks come from
// here and are never returned.
alignas(16) char bootstrap[64 * 1024];
std::atomic<std::size_t> bootstrapUsed{0};

bool fromBootstrap(const void* p) {
    return p >= static_cast<const void*>(bootstrap) && p < static_cast<const void*>(bootstrap + sizeof(bootstrap));
}

void* bootstrapAlloc(std::size_t n) {
    const std::size_t need = (n + 16 + 15) & ~std::size_t(15);
    const std::size_t at = bootstrapUsed.fetch_add(need);
    if (at + need > sizeof(bootstrap)) return nullptr;
    std::memcpy(bootstrap + at, &n, sizeof n);
    return bootstrap + at + 16;
}

template <typename F>
void find(F& slot, const char* name) {
    slot = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// True when the real functions are known; false only for calls that dlsym makes itself.
bool ready() {
    if (resolved.load(std::memory_order_acquire) == 2) return true;
    int expected = 0;
    if (resolved.compare_exchange_strong(expected, 1)) {
        resolver = pthread_self();
        find(next.malloc, "malloc");
        find(next.calloc, "calloc");
        find(next.realloc, "realloc");
        find(next.free, "free");
        find(next.posixMemalign, "posix_memalign");
        find(next.alignedAlloc, "aligned_alloc");
        find(next.memalign, "memalign");
        find(next.mutexLock, "pthread_mutex_lock");
        find(next.rdlock, "pthread_rwlock_rdlock");
        find(next.wrlock, "pthread_rwlock_wrlock");
        resolved.store(2, std::memory_order_release);
        return true;
    }
    if (pthread_equal(resolver, pthread_self())) return false;
    while (resolved.load(std::memory_order_acquire) != 2) {
    }
    return true;
}

inline void note(long Counts::*which) {
    if (watching && !vsthost::insideHostCallback()) ++(watched.*which);
}

void* allocate(std::size_t n) {
    if (!ready()) return bootstrapAlloc(n);
    return next.malloc(n);
}

void release(void* p) {
    if (!p || fromBootstrap(p)) return;
    if (ready()) next.free(p);
}

void* allocateAligned(std::size_t n, std::size_t alignment) {
    void* p = nullptr;
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    if (!ready() || next.posixMemalign(&p, alignment, n ? n : 1) != 0) return nullptr;
    return p;
}

}  // namespace

std::string Counts::describe() const {
    std::string text;
    auto add = [&](long n, const char* what) {
        if (!n) return;
        if (!text.empty()) text += ", ";
        text += std::to_string(n) + " " + what;
    };
    add(mallocs, "malloc");
    add(callocs, "calloc");
    add(reallocs, "realloc");
    add(frees, "free");
    add(news, "operator new");
    add(deletes, "operator delete");
    add(locks, "lock");
    return text.empty() ? "none" : text;
}

Scope::Scope() {
    watched = Counts{};
    watching = true;
}
Scope::~Scope() { watching = false; }
Counts Scope::counts() const { return watched; }

bool interposerActive() {
    // The malloc that a loaded module binds to: ours, unless something replaced it.
    auto allocator = reinterpret_cast<void* (*)(std::size_t)>(dlsym(RTLD_DEFAULT, "malloc"));
    if (!allocator) return false;
    Scope scope;
    void* p = allocator(24);
    std::free(p);
    return scope.counts().mallocs > 0;
}

}  // namespace rtwatch

using rtwatch::note;
using Counts = rtwatch::Counts;

// The build hides symbols by default; these must be seen by every loaded module.
#define VISIBLE __attribute__((visibility("default")))

extern "C" {

VISIBLE void* malloc(std::size_t n) {
    note(&Counts::mallocs);
    return rtwatch::allocate(n);
}

VISIBLE void free(void* p) {
    if (p) note(&Counts::frees);
    rtwatch::release(p);
}

VISIBLE void* calloc(std::size_t count, std::size_t size) {
    note(&Counts::callocs);
    if (!rtwatch::ready()) return rtwatch::bootstrapAlloc(count * size);  // static storage: zero already
    return rtwatch::next.calloc(count, size);
}

VISIBLE void* realloc(void* p, std::size_t n) {
    note(&Counts::reallocs);
    if (rtwatch::fromBootstrap(p)) {
        std::size_t old;
        std::memcpy(&old, static_cast<char*>(p) - 16, sizeof old);
        void* moved = rtwatch::allocate(n);
        if (moved) std::memcpy(moved, p, old < n ? old : n);
        return moved;
    }
    if (!rtwatch::ready()) return rtwatch::bootstrapAlloc(n);
    return rtwatch::next.realloc(p, n);
}

VISIBLE int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    note(&Counts::mallocs);
    if (!rtwatch::ready()) return ENOMEM;
    return rtwatch::next.posixMemalign(out, alignment, n);
}

VISIBLE void* aligned_alloc(std::size_t alignment, std::size_t n) {
    note(&Counts::mallocs);
    if (!rtwatch::ready()) return nullptr;
    return rtwatch::next.alignedAlloc(alignment, n);
}

VISIBLE void* memalign(std::size_t alignment, std::size_t n) {
    note(&Counts::mallocs);
    if (!rtwatch::ready()) return nullptr;
    return rtwatch::next.memalign(alignment, n);
}

VISIBLE int pthread_mutex_lock(pthread_mutex_t* mutex) {
    note(&Counts::locks);
    return rtwatch::ready() ? rtwatch::next.mutexLock(mutex) : 0;
}

VISIBLE int pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    note(&Counts::locks);
    return rtwatch::ready() ? rtwatch::next.rdlock(lock) : 0;
}

VISIBLE int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    note(&Counts::locks);
    return rtwatch::ready() ? rtwatch::next.wrlock(lock) : 0;
}

}  // extern "C"

// Every form of operator new and delete, so that a module built against a shared C++
// runtime (or a sanitizer's own operators) is watched as well.
namespace {
void* newOrThrow(std::size_t n) {
    note(&Counts::news);
    if (void* p = rtwatch::allocate(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* newAlignedOrThrow(std::size_t n, std::align_val_t alignment) {
    note(&Counts::news);
    if (void* p = rtwatch::allocateAligned(n, static_cast<std::size_t>(alignment))) return p;
    throw std::bad_alloc();
}
void deleteAny(void* p) {
    if (p) note(&Counts::deletes);
    rtwatch::release(p);
}
}  // namespace

VISIBLE void* operator new(std::size_t n) { return newOrThrow(n); }
VISIBLE void* operator new[](std::size_t n) { return newOrThrow(n); }
VISIBLE void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    note(&Counts::news);
    return rtwatch::allocate(n ? n : 1);
}
VISIBLE void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    note(&Counts::news);
    return rtwatch::allocate(n ? n : 1);
}
VISIBLE void* operator new(std::size_t n, std::align_val_t a) { return newAlignedOrThrow(n, a); }
VISIBLE void* operator new[](std::size_t n, std::align_val_t a) { return newAlignedOrThrow(n, a); }
VISIBLE void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    note(&Counts::news);
    return rtwatch::allocateAligned(n, static_cast<std::size_t>(a));
}
VISIBLE void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    note(&Counts::news);
    return rtwatch::allocateAligned(n, static_cast<std::size_t>(a));
}
VISIBLE void operator delete(void* p) noexcept { deleteAny(p); }
VISIBLE void operator delete[](void* p) noexcept { deleteAny(p); }
VISIBLE void operator delete(void* p, std::size_t) noexcept { deleteAny(p); }
VISIBLE void operator delete[](void* p, std::size_t) noexcept { deleteAny(p); }
VISIBLE void operator delete(void* p, const std::nothrow_t&) noexcept { deleteAny(p); }
VISIBLE void operator delete[](void* p, const std::nothrow_t&) noexcept { deleteAny(p); }
VISIBLE void operator delete(void* p, std::align_val_t) noexcept { deleteAny(p); }
VISIBLE void operator delete[](void* p, std::align_val_t) noexcept { deleteAny(p); }
VISIBLE void operator delete(void* p, std::size_t, std::align_val_t) noexcept { deleteAny(p); }
VISIBLE void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { deleteAny(p); }
VISIBLE void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { deleteAny(p); }
VISIBLE void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { deleteAny(p); }

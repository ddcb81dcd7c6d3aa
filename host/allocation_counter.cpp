#include "host/allocation_counter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

namespace {

std::atomic<bool> counting{false};
std::atomic<uint64_t> counted{0};

void Count() {
  if (counting.load(std::memory_order_relaxed)) counted.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

#if !defined(__SANITIZE_ADDRESS__) && defined(__has_feature)
#if __has_feature(address_sanitizer)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator serves every allocation function and calls this hook for each. Part of
// every sanitizer runtime; declared here because not every compiler ships its header.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void *, size_t),
                                                         void (*onFree)(const volatile void *));

namespace {

void OnMalloc(const volatile void *, size_t) {
  Count();
}
void OnFree(const volatile void *) {}

void Install() {
  static const int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  (void)installed;
}

}  // namespace
#else
// The C library's own allocator under its internal names, so that no lookup (which may itself
// allocate) is needed to reach it. The replacements are visible to the whole process (the build
// hides symbols by default), and exported by the link options of the object library.
#define VANTRELS_REPLACEMENT __attribute__((visibility("default")))
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void *__libc_valloc(size_t size);
void *__libc_pvalloc(size_t size);

VANTRELS_REPLACEMENT void *malloc(size_t size) {
  Count();
  return __libc_malloc(size);
}
VANTRELS_REPLACEMENT void *calloc(size_t count, size_t size) {
  Count();
  return __libc_calloc(count, size);
}
VANTRELS_REPLACEMENT void *realloc(void *pointer, size_t size) {
  Count();
  return __libc_realloc(pointer, size);
}
VANTRELS_REPLACEMENT void *memalign(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
VANTRELS_REPLACEMENT void *aligned_alloc(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
VANTRELS_REPLACEMENT int posix_memalign(void **pointer, size_t alignment, size_t size) {
  Count();
  if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0 || alignment == 0) return EINVAL;
  void *p = __libc_memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *pointer = p;
  return 0;
}
VANTRELS_REPLACEMENT void *valloc(size_t size) {
  Count();
  return __libc_valloc(size);
}
VANTRELS_REPLACEMENT void *pvalloc(size_t size) {
  Count();
  return __libc_pvalloc(size);
}
}

namespace {
void Install() {}
}  // namespace
#endif

namespace vantrels::host {

void CountAllocations(bool on) {
  Install();
  counting.store(on, std::memory_order_relaxed);
}

uint64_t AllocationsCounted() {
  return counted.load(std::memory_order_relaxed);
}

}  // namespace vantrels::host

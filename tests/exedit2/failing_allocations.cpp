#include "tests/exedit2/failing_allocations.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "host/exedit2/stand_in_editor.h"

namespace {

thread_local long allocations_until_failure = -1;  // negative: none fails
thread_local bool allocation_failed = false;

}  // namespace

void fail_allocation_after(long count)
{
    allocations_until_failure = count;
    allocation_failed = false;
}

bool disarm_allocation_failure()
{
    allocations_until_failure = -1;
    return allocation_failed;
}

#ifndef _WIN32
namespace {

// The host's callbacks allocate without counting, as the editor's would.
void* allocate(std::size_t bytes, std::size_t alignment)
{
    if (allocations_until_failure >= 0 && StandInEditor::in_plugin_code() && allocations_until_failure-- == 0) {
        allocation_failed = true;
        throw std::bad_alloc();
    }
    void* p = nullptr;
    if (posix_memalign(&p, std::max(alignment, sizeof(void*)), bytes ? bytes : 1) != 0) throw std::bad_alloc();
    return p;
}

void* allocate_or_null(std::size_t bytes, std::size_t alignment) noexcept
{
    try {
        return allocate(bytes, alignment);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

// Every form, so that none of the sanitizers' own operators pairs with these.
void* operator new(std::size_t n) { return allocate(n, 0); }
void* operator new[](std::size_t n) { return allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, std::size_t(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, std::size_t(a)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate_or_null(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate_or_null(n, 0); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate_or_null(n, std::size_t(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{
    return allocate_or_null(n, std::size_t(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#endif

/* Replaceable allocation functions of the test binary: the Nth allocation after arming fails,
   so the program's handling of std::bad_alloc can be driven. Allocations made inside the
   stand-in never fail. Memory comes from malloc, so the sanitizers still see every block. */

#include "internal.h"

#include <cstdlib>
#include <new>

namespace
{

long g_failAt = 0; /* 0: disarmed */
long g_count = 0;
bool g_everyFromThen = false;
bool g_failed = false;

bool ShouldFail()
{
    if (g_failAt == 0 || standin::detail::InStandin())
        return false;
    ++g_count;
    if (g_count == g_failAt || (g_everyFromThen && g_count > g_failAt)) {
        g_failed = true;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

namespace standin
{

void FailAllocation(long nth, bool everyFromThen)
{
    g_failAt = nth;
    g_count = 0;
    g_everyFromThen = everyFromThen;
    g_failed = false;
}

void DisarmAllocation()
{
    g_failAt = 0;
}

bool AllocationFailed()
{
    return g_failed;
}

namespace detail
{
void ResetAllocation()
{
    g_failAt = 0;
    g_count = 0;
    g_everyFromThen = false;
    g_failed = false;
}
} // namespace detail

} // namespace standin

void* operator new(std::size_t size)
{
    if (ShouldFail())
        throw std::bad_alloc();
    void* p = Allocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFail())
        return nullptr;
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (ShouldFail())
        return nullptr;
    return Allocate(size);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

// ModuleLockCount.cpp -- the module's lock count: one atomic for the whole library.
#include "frame/automation/ModuleLockCount.h"

#include <atomic>

namespace {

// Objects of different apartments come and go on different threads.
std::atomic<int32_t> lockCount{0};

}  // namespace

int32_t ModuleLockCount::Increment() noexcept { return ++lockCount; }
int32_t ModuleLockCount::Decrement() noexcept { return --lockCount; }
int32_t ModuleLockCount::Current() noexcept { return lockCount.load(); }

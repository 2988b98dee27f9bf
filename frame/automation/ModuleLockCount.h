// ModuleLockCount.h -- the module's count of live objects and class-object locks.
#pragma once

#include <cstdint>

/// One count for the whole loaded library, shared by every thread: the library may be unloaded
/// only while it is zero. Every object of the component holds one count for its lifetime (see
/// ModuleObjectLock); IClassFactory::LockServer adds and removes counts directly.
class ModuleLockCount {
public:
  ModuleLockCount() = delete;
  /// Adds one; returns the new value.
  static int32_t Increment() noexcept;
  /// Takes one away; returns the new value.
  static int32_t Decrement() noexcept;
  /// The current value.
  static int32_t Current() noexcept;
};

/// Holds one count from construction to destruction: make it a member of every object class.
class ModuleObjectLock {
public:
  ModuleObjectLock() noexcept { ModuleLockCount::Increment(); }
  ModuleObjectLock(const ModuleObjectLock&) = delete;
  ModuleObjectLock& operator=(const ModuleObjectLock&) = delete;
  ~ModuleObjectLock() { ModuleLockCount::Decrement(); }
};

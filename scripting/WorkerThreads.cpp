// WorkerThreads.cpp -- the thread count one call may use, from the cores it may run on and the settings that cap it.
#include "scripting/WorkerThreads.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "scripting/ComponentSettings.h"

namespace {

/// The cores this process may run on: those of its affinity mask (`taskset`, a cgroup's cpuset),
/// else every core online. More threads than that would only take turns on the same cores.
std::uint64_t UsableCores() {
  cpu_set_t mask;
  CPU_ZERO(&mask);
  if (sched_getaffinity(0, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) > 0) return static_cast<std::uint64_t>(CPU_COUNT(&mask));
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::uint64_t>(online) : 1;
}

}  // namespace

unsigned WorkerThreadCount() {
  std::uint64_t count = UsableCores();
  for (const auto cap : {ComponentSettings::AdministratorNumber("Threads"), ComponentSettings::HostNumber("BREVIK_THREADS")})
    if (cap) count = std::min(count, *cap);
  return static_cast<unsigned>(std::max<std::uint64_t>(count, 1));
}

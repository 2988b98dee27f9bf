// WorkerThreads.cpp -- the thread count one call may use, from the cores online and the settings that cap it.
#include "scripting/WorkerThreads.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "scripting/ComponentSettings.h"

unsigned WorkerThreadCount() {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  std::uint64_t count = online > 0 ? static_cast<std::uint64_t>(online) : 1;
  for (const auto cap : {ComponentSettings::AdministratorNumber("Threads"), ComponentSettings::HostNumber("BREVIK_THREADS")})
    if (cap) count = std::min(count, *cap);
  return static_cast<unsigned>(std::max<std::uint64_t>(count, 1));
}

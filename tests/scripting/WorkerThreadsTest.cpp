// WorkerThreadsTest.cpp -- the thread count follows the cores online and the strictest cap set.
#include "scripting/WorkerThreads.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>

#include "support/HostingPolicyInstall.h"

using brevik::test::HostingPolicyInstall;
using brevik::test::HostingScopedEnv;

TEST(WorkerThreads, TheUsableCoresCappedByTheStrictestOfRegistryAndEnvironment) {
  HostingPolicyInstall machine;
  cpu_set_t mask;
  ASSERT_EQ(sched_getaffinity(0, sizeof mask, &mask), 0);
  const unsigned online = static_cast<unsigned>(CPU_COUNT(&mask));
  EXPECT_EQ(WorkerThreadCount(), online);
  {
    HostingScopedEnv threads("BREVIK_THREADS", "1");
    EXPECT_EQ(WorkerThreadCount(), 1u);
  }
  {
    HostingScopedEnv threads("BREVIK_THREADS", "64");  // a cap above the cores adds none
    EXPECT_EQ(WorkerThreadCount(), online);
  }
  {
    HostingScopedEnv threads("BREVIK_THREADS", "many");  // not a number: no cap
    EXPECT_EQ(WorkerThreadCount(), online);
  }
  machine.WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brevik]\n\"Threads\"=dword:00000001\n");
  EXPECT_EQ(WorkerThreadCount(), 1u);
  {
    HostingScopedEnv threads("BREVIK_THREADS", "8");  // the administrator's cap holds against a host's larger one
    EXPECT_EQ(WorkerThreadCount(), 1u);
  }
}

TEST(WorkerThreads, AProcessConfinedToOneCoreGetsOneThread) {
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);  // as `taskset -c N` starts a process
  const unsigned confined = WorkerThreadCount();
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(confined, 1u);
}

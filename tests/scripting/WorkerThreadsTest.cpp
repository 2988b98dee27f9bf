// WorkerThreadsTest.cpp -- the thread count follows the cores online and the strictest cap set.
#include "scripting/WorkerThreads.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "support/HostingPolicyInstall.h"

using brevik::test::HostingPolicyInstall;
using brevik::test::HostingScopedEnv;

TEST(WorkerThreads, TheCoresOnlineCappedByTheStrictestOfRegistryAndEnvironment) {
  HostingPolicyInstall machine;
  const unsigned online = static_cast<unsigned>(sysconf(_SC_NPROCESSORS_ONLN));
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

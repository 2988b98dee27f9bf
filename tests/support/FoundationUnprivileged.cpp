// FoundationUnprivileged.cpp -- copying the test program and starting it under setpriv as nobody.
#include "support/FoundationUnprivileged.h"

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace brevik::test {

namespace {
constexpr const char* kChildMarker = "BREVIK_TEST_AS_NOBODY";
}

bool RunningAsRoot() { return ::geteuid() == 0; }

bool RunningAsNobodyChild() { return std::getenv(kChildMarker) != nullptr; }

CommandResult RunTestsAsNobody(const std::string& scratchFolder, const std::string& gtestFilter) {
  const std::string copy = scratchFolder + "/test-program";
  std::filesystem::copy_file("/proc/self/exe", copy, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                         std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                         std::filesystem::perms::others_exec);
  return RunCommand("cd / && " + std::string(kChildMarker) +
                    "=1 setpriv --reuid=nobody --regid=nogroup --clear-groups " + ShellQuote(copy) +
                    " --gtest_brief=0 " + ShellQuote("--gtest_filter=" + gtestFilter));
}

}  // namespace brevik::test

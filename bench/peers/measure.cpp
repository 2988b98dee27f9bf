// measure.cpp -- runs one command and reports its wall time, CPU time and peak memory.
//
// Usage: measure REPORT COMMAND [ARG...]
// Writes "wall_seconds cpu_seconds peak_kib exit_status" to REPORT. The runner starts commands
// through this small program rather than forking itself: a child's peak resident size counts the
// memory it had before exec, which for a fork of the Python runner is the runner's own.
#include <cstdio>
#include <ctime>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure REPORT COMMAND [ARG...]\n");
    return 2;
  }
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) < 0) return 1;
  clock_gettime(CLOCK_MONOTONIC, &end);
  double wall = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::FILE* report = std::fopen(argv[1], "w");
  if (report == nullptr) return 1;
  std::fprintf(report, "%.6f %.6f %ld %d\n", wall, cpu, usage.ru_maxrss, exitStatus);
  std::fclose(report);
  return exitStatus;
}

// Shell.cpp -- command runner, shell quoting, whole-file reads and writes, generated data.
#include "support/Shell.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace brevik::test {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  std::string wrapped = "( " + command + " ) 2>&1";
  FILE* pipe = popen(wrapped.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> chunk;
  size_t got;
  while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.output.append(chunk.data(), got);
  int status = pclose(pipe);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.exitStatus = 128 + WTERMSIG(status);
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string GeneratedBytes(std::size_t size, unsigned seed, bool compressible) {
  std::mt19937 generator(seed);
  std::string bytes;
  bytes.reserve(size);
  if (!compressible) {
    while (bytes.size() < size) bytes.push_back(static_cast<char>(generator() & 0xFF));
    return bytes;
  }
  static const char* const words[] = {"archive ", "entry ", "central ", "directory ", "header ",
                                      "deflate ", "stored ", "volume ", "brevik\n", "zip "};
  while (bytes.size() < size) bytes += words[generator() % 10];
  bytes.resize(size);
  return bytes;
}

}  // namespace brevik::test

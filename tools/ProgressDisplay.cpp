// ProgressDisplay.cpp -- one refreshed line of progress on a terminal while long work runs.
#include "tools/ProgressDisplay.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tools/Interruption.h"
#include "tools/PrintableName.h"

namespace {

constexpr std::chrono::milliseconds kRedrawEvery{250};

std::string Bytes(double bytes) {
  const char* units[] = {"B", "KB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 4) {
    bytes /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

std::string Duration(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  else std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

std::size_t TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

}  // namespace

ProgressDisplay::ProgressDisplay(std::uint64_t totalBytes, bool terminal, std::chrono::milliseconds delay)
    : totalBytes_(totalBytes), terminal_(terminal), delay_(delay), start_(Clock::now()) {}

ProgressDisplay::~ProgressDisplay() { Finish(); }

std::chrono::milliseconds ProgressDisplay::DelayFromEnvironment() {
  const char* text = std::getenv("BREVIK_PROGRESS_DELAY");
  if (text == nullptr || *text == '\0') return std::chrono::seconds(1);
  char* end = nullptr;
  const double seconds = std::strtod(text, &end);
  if (end == text || seconds < 0) return std::chrono::seconds(1);
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

void ProgressDisplay::EntryBegins(const std::string& entryName, const std::string& path) {
  entryName_ = entryName;
  entryPath_ = path;
}

bool ProgressDisplay::Advance(std::uint64_t bytes) {
  doneBytes_ += bytes;
  if (InterruptionWatch::Interrupted()) {
    cutPath_ = entryPath_;
    return false;
  }
  if (terminal_) {
    const Clock::time_point now = Clock::now();
    if (now - start_ >= delay_ && (!drawn_ || now - lastDraw_ >= kRedrawEvery)) Draw(now);
  }
  return true;
}

bool ProgressDisplay::StopRequested() const { return InterruptionWatch::Interrupted(); }

void ProgressDisplay::Draw(Clock::time_point now) {
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double rate = elapsed > 0 ? static_cast<double>(doneBytes_) / elapsed : 0;
  std::string line = " ";
  if (totalBytes_ > 0) {
    char percent[16];
    const std::uint64_t shown = doneBytes_ > totalBytes_ ? totalBytes_ : doneBytes_;
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(shown * 100 / totalBytes_));
    line += percent;
  } else {
    line += Bytes(static_cast<double>(doneBytes_));
  }
  std::string tail = "  " + Bytes(rate) + "/s";
  if (totalBytes_ > doneBytes_ && rate > 0) tail += "  " + Duration(static_cast<double>(totalBytes_ - doneBytes_) / rate) + " left";
  // The entry's name takes what room the line has left; its start is cut, its end kept.
  std::string name = PrintableName(entryName_);
  const std::size_t columns = TerminalColumns() - 1;
  const std::size_t room = columns > line.size() + tail.size() + 2 ? columns - line.size() - tail.size() - 2 : 0;
  if (name.size() > room) {
    std::size_t from = name.size() - (room > 3 ? room - 3 : 0);
    while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) ++from;  // whole characters
    name = room > 3 ? "..." + name.substr(from) : std::string();
  }
  line += "  " + name + tail;
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  lastDraw_ = now;
  drawn_ = true;
}

void ProgressDisplay::Finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
}

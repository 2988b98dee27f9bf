// PasswordReader.cpp -- password from a file, an environment variable or the terminal without echo.
#include "tools/PasswordReader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Owns a file descriptor so that every early return closes it.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

// Restores the terminal's settings when the read ends, however it ends.
class EchoOff {
public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
  }
  ~EchoOff() {
    if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

// Reads up to the first "\n" (or the end); false only on a read error.
bool ReadFirstLine(int fd, std::string& line) {
  line.clear();
  char byte;
  for (;;) {
    const ssize_t got = read(fd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0 || byte == '\n') break;
    line += byte;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

bool ReadPassword(PasswordSource source, const std::string& argument, std::string& password, std::string& error) {
  password.clear();
  switch (source) {
    case PasswordSource::None:
      return true;
    case PasswordSource::Environment: {
      const char* value = std::getenv(argument.c_str());
      if (!value) {
        error = "the environment variable '" + argument + "' is not set";
        return false;
      }
      password = value;
      return true;
    }
    case PasswordSource::File: {
      FileDescriptor file(open(argument.c_str(), O_RDONLY | O_CLOEXEC));
      if (file.get() < 0 || !ReadFirstLine(file.get(), password)) {
        error = "cannot read the password file '" + argument + "': " + std::strerror(errno);
        password.clear();
        return false;
      }
      return true;
    }
    case PasswordSource::Terminal: {
      FileDescriptor tty(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
      if (tty.get() < 0) {
        error = "--ask-password needs a terminal";
        return false;
      }
      static const char kPrompt[] = "Password: ";
      if (write(tty.get(), kPrompt, sizeof kPrompt - 1) < 0) {
        error = "cannot write to the terminal";
        return false;
      }
      bool read;
      {
        EchoOff quiet(tty.get());
        read = ReadFirstLine(tty.get(), password);
      }
      // The user's Enter was not echoed; end the prompt's line ourselves (best effort).
      [[maybe_unused]] const ssize_t lineEnd = write(tty.get(), "\n", 1);
      if (!read) {
        error = "cannot read the password from the terminal";
        password.clear();
        return false;
      }
      return true;
    }
  }
  return true;
}

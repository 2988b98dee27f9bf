// Interruption.cpp -- Ctrl-C (SIGINT) and SIGTERM asking the running operation to stop cleanly.
#include "tools/Interruption.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
struct sigaction previousInterrupt;
struct sigaction previousTerminate;

extern "C" void NoteSignal(int number) {
  if (caughtSignal != 0) {
    // The second signal: the user does not want to wait for a clean stop.
    std::signal(number, SIG_DFL);
    std::raise(number);
    return;
  }
  caughtSignal = number;
}

}  // namespace

InterruptionWatch::InterruptionWatch() {
  caughtSignal = 0;
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInterrupt);
  sigaction(SIGTERM, &action, &previousTerminate);
}

InterruptionWatch::~InterruptionWatch() {
  sigaction(SIGINT, &previousInterrupt, nullptr);
  sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool InterruptionWatch::Interrupted() { return caughtSignal != 0; }

int InterruptionWatch::Signal() { return caughtSignal; }

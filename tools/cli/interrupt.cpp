#include "interrupt.h"

#include <csignal>

namespace senmod_cli {

namespace {

// SIGHUP: the terminal closed. SIGPIPE: standard error is a pipe nobody reads any more. Either
// would end the process with its partial output left behind.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int kCount = sizeof kSignals / sizeof kSignals[0];

volatile std::sig_atomic_t caught = 0;
struct sigaction previous[kCount];

void onSignal(int) { caught = 1; }

}  // namespace

InterruptCatcher::InterruptCatcher() {
  caught = 0;
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kCount; ++i) {
    sigaction(kSignals[i], nullptr, &previous[i]);
    // An ignored signal stays ignored: nohup and background jobs ask for that.
    if (previous[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
  }
}

InterruptCatcher::~InterruptCatcher() {
  for (int i = 0; i < kCount; ++i) sigaction(kSignals[i], &previous[i], nullptr);
}

bool InterruptCatcher::interrupted() { return caught != 0; }

}  // namespace senmod_cli

#include "interrupt.h"

#include <csignal>

namespace senmod_cli {

namespace {

volatile std::sig_atomic_t caught = 0;
void (*previousInt)(int) = SIG_DFL;
void (*previousTerm)(int) = SIG_DFL;

void onSignal(int) { caught = 1; }

}  // namespace

InterruptCatcher::InterruptCatcher() {
  caught = 0;
  previousInt = std::signal(SIGINT, onSignal);
  previousTerm = std::signal(SIGTERM, onSignal);
}

InterruptCatcher::~InterruptCatcher() {
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
}

bool InterruptCatcher::interrupted() { return caught != 0; }

}  // namespace senmod_cli

// The interruption that stops a long command: it stops through the engine's progress callback
// and leaves no partial output.
#ifndef SENMOD_CLI_INTERRUPT_H
#define SENMOD_CLI_INTERRUPT_H

namespace senmod_cli {

// While one lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE set a flag instead of ending the process
// (those the process was started ignoring stay ignored); the previous handlers come back with
// its end.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // True after a signal came.
  static bool interrupted();
};

}  // namespace senmod_cli

#endif

// What the engine refuses, as the tests read it.
#ifndef SENMOD_TEST_REFUSAL_H
#define SENMOD_TEST_REFUSAL_H

#include <string>

#include "read_error.h"

namespace testsupport {

// The message of the engine's ReadError that f throws ("" when it throws none).
template <typename F>
std::string refusal(F f) {
  try {
    f();
  } catch (const senmod_io::ReadError& e) {
    return e.what();
  }
  return "";
}

}  // namespace testsupport

#endif

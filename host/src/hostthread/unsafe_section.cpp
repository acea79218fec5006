// The process-wide section for code that is not thread-safe. Kept by hand rather than with a
// recursive mutex so that an exit without its enter is ignored instead of undefined.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "hostthread.h"

namespace {

std::mutex guard;
std::condition_variable released;
std::thread::id owner;
long depth = 0;

}  // namespace

extern "C" {

void hthr_ThreadUnsafeCodeEnter(int) {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(guard);
  released.wait(lock, [&] { return depth == 0 || owner == self; });
  owner = self;
  ++depth;
}

void hthr_ThreadUnsafeCodeExit(void) {
  std::lock_guard<std::mutex> lock(guard);
  if (depth == 0 || owner != std::this_thread::get_id()) return;
  if (--depth == 0) {
    owner = std::thread::id();
    released.notify_one();
  }
}

}  // extern "C"

// Ctrl-C (Ctrl-Break on Windows) while the debugger waits for the board: the wait, and the
// command it serves, is given up and the session goes on. At the prompt the key keeps its
// usual effect and ends the program.
//
//   arm()/disarm()  a command is running / the prompt is back (arm also forgets an old request)
//   request()       from the platform's interrupt handler: true when a command is running and
//                   now gives up; false leaves the key to its default action
//   pending()       a request came since arm(): every wait ends at once
//
// Lock-free atomics only, so request() is safe in a signal handler and from the console
// control thread Windows runs handlers on.
#pragma once

#include <atomic>

namespace h8 {

class WaitInterrupt {
 public:
  void arm() {
    pending_ = false;
    armed_ = true;
  }
  void disarm() { armed_ = false; }
  bool request() {
    if (!armed_) return false;
    pending_ = true;
    return true;
  }
  bool pending() const { return pending_; }

 private:
  std::atomic<bool> armed_{false};
  std::atomic<bool> pending_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace h8

// 1 ms timer resolution while at least one port is open; counted, because
// timeBeginPeriod and timeEndPeriod must pair and ports open and close on
// more than one thread.
#include "port/timer_resolution.h"

#include <windows.h>
#include <timeapi.h>

#include <mutex>

namespace {

std::mutex holdLock;
int holds = 0;

}  // namespace

void TimerResolutionHold() {
  std::lock_guard<std::mutex> lock(holdLock);
  if (holds++ == 0) timeBeginPeriod(1);
}

void TimerResolutionRelease() {
  std::lock_guard<std::mutex> lock(holdLock);
  if (holds == 0) return;
  if (--holds == 0) timeEndPeriod(1);
}

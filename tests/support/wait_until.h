// Waits for a condition with a deadline instead of sleeping a fixed time.
#pragma once
#include <chrono>
#include <thread>

// True as soon as condition() holds; false when timeoutMs passed without it.
template <typename Condition>
bool waitUntil(Condition condition, int timeoutMs = 2000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

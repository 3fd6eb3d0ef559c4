#pragma once

// Test hooks of the driver. The programs never call these: they exist so the
// fault tests can shorten the driver's waits and still finish in seconds.

#include <chrono>

namespace vantrel {

// Every wait of the driver is counted in ticks: the pacing after each byte
// sent, the byte time-out (30 empty tries of 10 ticks), the self test's
// eleven seconds and the cap on a babbling handshake. The programs run with
// the real tick of 1/60 s; a test may shorten it, and resetDriverState() puts
// the real tick back.
void setDriverTickForTests(std::chrono::nanoseconds tick);
std::chrono::nanoseconds driverTick();

// Waits for a received byte the naive way, for the download benchmark to
// compare against: read; if nothing came, sleep 10 ticks; up to 30 tries.
// Off by default (the wait is a poll() that wakes as the byte arrives), and
// off again after resetDriverState().
void setSleepLoopByteWaitForTests(bool on);

} // namespace vantrel

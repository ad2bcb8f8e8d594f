// vornhost's two clocks. The poll schedules run on tickCountMs, which counts
// the time asleep too, so that a poll falls due at once after a resume; the
// control loop tells a sleep that Windows did not announce by comparing it
// with awakeMs, which stops while the computer sleeps.
#pragma once

#include <cstdint>

// Milliseconds since Windows started, the time asleep included (GetTickCount64).
uint64_t tickCountMs();

// Milliseconds since Windows started, the time asleep left out
// (QueryUnbiasedInterruptTime).
uint64_t awakeMs();

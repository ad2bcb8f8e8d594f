// What every program that uses the controller agrees on to take turns: one
// kernel mutex of this name, held by whoever talks to the device, from its
// open to its close (the plug-in's poll cycle and fan command in every host,
// and vornhost's own exchanges). It lives in the global namespace, so that
// programs in every session and at every rights level (a desktop host, a
// scheduled task or service in session 0, another user's host) take turns on
// it. A program that does not know the lock (the vendor's software) is still
// kept out by the driver, which refuses a second open.
#pragma once

constexpr char kControllerLockName[] = "Global\\VORN controller";

// Where a program goes when the global name cannot be used at all: the same
// lock for the programs of its own session only (docs/lifecycle.md).
constexpr char kControllerLockLocalName[] = "Local\\VORN controller";

// The longest one party may keep the device: a poll cycle's 3-second read
// time-out plus its open, request and close. It is also how long a caller
// waits for its turn in all before it gives up as busy.
constexpr unsigned kControllerTurnMs = 5000;

// What every program that uses the controller agrees on to take turns: one
// kernel mutex of this name in the session's namespace, held by whoever talks
// to the device, from its open to its close (the plug-in's poll cycle and fan
// command in every host, and vornhost's own exchanges). A program that does
// not know the lock (the vendor's software) is still kept out by the driver,
// which refuses a second open.
#pragma once

constexpr char kControllerLockName[] = "Local\\VORN controller";

// The longest one party may keep the device: a poll cycle's 3-second read
// time-out plus its open, request and close. It is also how long a caller
// waits for its turn in all before it gives up as busy.
constexpr unsigned kControllerTurnMs = 5000;

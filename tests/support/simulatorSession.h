// The plug-in loaded as a host loads it, next to the simulated controller,
// with the simulator reset to a known, frozen state.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simControl.h"
#include "tests/support/pluginModule.h"

class SimulatorSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The log entries recorded since the last reset or clear.
    std::vector<SimLogEntry> log() const;
    // One line per entry ("open 0 -> 0", "write [36] -> 0"...), for messages.
    static std::string describe(const std::vector<SimLogEntry> &entries);

    HMODULE simulatorModule_ = nullptr; // kept loaded across plug-in reloads
    SimControl sim;
};

const char *simOpName(int op);

#include "tests/support/simulatorSession.h"

#include <cstdio>

void SimulatorSession::SetUp()
{
    simulatorModule_ = LoadLibraryA("FTD2XX.dll");
    ASSERT_NE(simulatorModule_, nullptr);
    ASSERT_TRUE(sim.load(simulatorModule_)) << sim.missing;
    sim.reset();
    sim.freezeDrift(1);
}

void SimulatorSession::TearDown()
{
    if (simulatorModule_ != nullptr) {
        sim.reset();
        FreeLibrary(simulatorModule_);
    }
}

std::vector<SimLogEntry> SimulatorSession::log() const
{
    std::vector<SimLogEntry> entries;
    const int count = sim.logCount();
    for (int i = 0; i < count; ++i) {
        SimLogEntry entry;
        if (sim.logGet(i, &entry))
            entries.push_back(entry);
    }
    return entries;
}

const char *simOpName(int op)
{
    static const char *const names[] = {"open", "close", "read", "write", "baud", "data", "timeouts"};
    return op >= 0 && op < SIM_OP_COUNT ? names[op] : "?";
}

std::string SimulatorSession::describe(const std::vector<SimLogEntry> &entries)
{
    std::string text;
    for (const SimLogEntry &e : entries) {
        char line[160];
        std::snprintf(line, sizeof line, "%s h=%p dev=%d args=%lu,%lu,%lu count=%lu -> %lu\n", simOpName(e.op),
                      e.handle, e.device, e.args[0], e.args[1], e.args[2], e.count, e.status);
        text += line;
    }
    return text;
}

// What the service tests share: the service's configuration written and
// installed through vornhost, the shared simulated controller kept loaded by
// the test process (so that its silence, read at the first load, is the
// test's) and put where the bridge's driver package puts FTD2XX.dll, the
// system folder, whence alone the service loads it; the service's folders
// where the system says they are; and the service removed again whatever
// happened.
#pragma once

#include <windows.h>

#include <string>

#include "simControl.h"
#include "tests/support/processRunner.h"

// A file's whole text; empty when it cannot be read.
std::string fileText(const std::string &path);

// vornhost.exe with `arguments`, within 30 s.
ProgramRun vornhost(const std::string &arguments);

// Loads the simulator in shared mode (VORNSIM_SILENT_AFTER as the caller
// set it) for the process's life and resets its controllers; and shares it
// with the services started from now on through the simulator's switch in
// the registry (Wine's service manager gives a service the environment it
// read when it started), and a copy of it in the system folder.
bool loadSharedSimulator(SimControl &sim);

// A known folder's path ("C:\ProgramData"); empty if the system cannot
// tell.
std::string knownFolderPath(const GUID &folder);
// The service's data folder, and its program's copy.
std::string serviceDataFolder();
std::string installedProgram();

// Fan `fan`'s duty in percent as the controller's frame shows it; -1 when
// no frame comes.
int frameDuty(SimControl &sim, int fan);

// `sc query VORNFanControl`'s exit code: 0 while the service is there.
int scQuery();

// Removes the service, its event source and its program's copy, quietly,
// and the simulator's switch for services and its copy in the system
// folder.
void removeService();

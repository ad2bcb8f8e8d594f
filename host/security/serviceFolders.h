// Where the service keeps its files: VORN\ in the system's ProgramData
// folder (its known folder, not the environment's %ProgramData%), which
// only SYSTEM, the administrators and the service's account may write
// (host/security/dataFolderGuard.h), with the configuration the service
// runs (fan-curve.json), its status after each poll (status.json) and its
// daily CSV logs in log\ (host/service/serviceFiles.h).
#pragma once

#include <string>

// "C:\ProgramData\VORN" and the files in it; empty, all of them, when the
// system does not tell where ProgramData is.
std::string serviceFolder();
std::string serviceConfigPath();
std::string serviceStatusPath();
std::string serviceLogFolder();

// Makes the folder and its log folder, when missing, with the descriptor
// for a service that runs as `account` (host/security/writeCheck.h); prints
// the reason and returns false when that fails.
bool makeServiceFolders(const std::string &account);

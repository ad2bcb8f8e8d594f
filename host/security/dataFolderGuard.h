// The service's data folder (host/security/serviceFolders.h) made the
// service's own by `service install`, and checked by the service at each
// start before it reads anything (host/security/writeCheck.h decides). Every
// entry is opened without following a link: a junction or a link is looked
// at, never through.
#pragma once

#include <string>

// Sets the administrators as owner and the protected descriptor for a
// service that runs as `account` (an SDDL abbreviation, "LS" or "SY") on
// the folder, on log\ and on every file in them. Looks at everything first
// and changes nothing when it finds a reparse point or a folder other than
// log\, which would lead the descriptors elsewhere; prints the reason and
// returns false then, or when a descriptor cannot be set. A file with
// another name elsewhere (a hard link) shares its descriptor with that
// name: it is removed from the folder instead, never handed to the
// service's account.
bool secureDataFolder(const std::string &account);

// Why the service may not trust its folder, its log folder or its
// configuration, naming the path ("C:\ProgramData\VORN: BUILTIN\Users may
// write it"); empty when it may.
std::string dataFolderRefusal();

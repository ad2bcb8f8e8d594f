// Whom the service trusts with its data: a folder or file that anyone but
// SYSTEM, the administrators and the service's own account may change is an
// attacker's, since the service runs what its configuration names with
// rights that a user lacks. A pure function of what the file system says of
// the object (its attributes and its security descriptor), so that it can be
// tried on descriptors built in memory; host/security/dataFolderGuard.h
// applies it on disk.
#pragma once

#include <windows.h>

#include <string>

// The descriptors `service install` sets on the data folder (and log\) and
// on each file in them, in SDDL, for a service that runs as the account
// with this SDDL abbreviation ("LS" for LocalService, "SY" for LocalSystem):
// owned by the administrators; SYSTEM, the administrators and the account
// may write, users read; nothing inherited from above (protected).
std::string dataFolderSddl(const std::string &account);
std::string dataFileSddl(const std::string &account);

// Why the object may not be trusted by a service running as
// `serviceAccount`, or empty when it may: a reparse point (a junction or a
// link that leads elsewhere), an owner other than SYSTEM, the
// administrators or that account (an owner may always rewrite the
// permissions), no permission list at all (everyone may do anything), an
// allowing entry of a kind this check does not read, or one that lets
// another account write, delete, or change the permissions or the owner.
// An entry that only denies is never a reason.
std::string writeRefusal(DWORD attributes, PSECURITY_DESCRIPTOR descriptor, PSID serviceAccount);

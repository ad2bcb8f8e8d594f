#include "controller/sharedLocks.h"

#include <sddl.h>

#include "core/turnTaking.h"

namespace {

// Authenticated users may wait and release (SYNCHRONIZE | MUTEX_MODIFY_STATE);
// SYSTEM and the administrators have full access.
const char kLockDescriptor[] = "D:(A;;0x00100001;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)";

// Null and the reason when the name cannot be used. CreateMutexEx opens an
// existing lock with the rights asked for, and only those. Refused (another
// program created it under a descriptor that this one's rights do not pass,
// or creating is not allowed here), it is opened for the same rights.
HANDLE createOrOpen(const char *name, SECURITY_ATTRIBUTES *attributes, DWORD &error)
{
    HANDLE lock = nullptr;
    // Without a descriptor the lock is never created, only opened: the
    // creator's default descriptor would let no other user in.
    error = ERROR_ACCESS_DENIED;
    if (attributes->lpSecurityDescriptor != nullptr) {
        lock = CreateMutexExA(attributes, name, 0, kSharedLockRights);
        error = lock != nullptr ? 0 : GetLastError();
    }
    if (lock == nullptr && error == ERROR_ACCESS_DENIED) {
        lock = OpenMutexA(kSharedLockRights, FALSE, name);
        error = lock != nullptr ? 0 : GetLastError();
    }
    return lock;
}

// The lock's descriptor, freed with the object.
class LockAttributes {
public:
    LockAttributes()
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(kLockDescriptor, SDDL_REVISION_1, &descriptor_, nullptr);
        attributes = {sizeof attributes, descriptor_, FALSE};
    }
    ~LockAttributes()
    {
        if (descriptor_ != nullptr)
            LocalFree(descriptor_);
    }
    LockAttributes(const LockAttributes &) = delete;
    LockAttributes &operator=(const LockAttributes &) = delete;

    SECURITY_ATTRIBUTES attributes;

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// The claim's name in the global namespace; empty when it does not fit.
struct GlobalName {
    explicit GlobalName(const char *name)
    {
        static const char kPrefix[] = "Global\\";
        size_t length = 0;
        for (const char *c = kPrefix; *c != '\0'; ++c)
            text[length++] = *c;
        for (const char *c = name; *c != '\0'; ++c) {
            if (length + 1 >= sizeof text) {
                text[0] = '\0';
                return;
            }
            text[length++] = *c;
        }
        text[length] = '\0';
    }
    char text[MAX_PATH];
};

} // namespace

OpenedLock openControllerLock()
{
    LockAttributes lock;
    SECURITY_ATTRIBUTES &attributes = lock.attributes;

    OpenedLock mutex;
    mutex.handle = createOrOpen(kControllerLockName, &attributes, mutex.globalError);
    mutex.global = mutex.handle != nullptr;
    if (!mutex.global) {
        DWORD localError = 0;
        mutex.handle = createOrOpen(kControllerLockLocalName, &attributes, localError);
    }
    return mutex;
}

HANDLE takeNamedClaim(const char *name, ClaimOutcome &outcome, DWORD &error)
{
    LockAttributes claim;
    const GlobalName global(name);
    outcome = ClaimOutcome::Unusable;
    error = ERROR_INVALID_NAME;
    if (global.text[0] == '\0')
        return nullptr;
    HANDLE handle = createOrOpen(global.text, &claim.attributes, error);
    if (handle == nullptr) {
        // Another kind of object under the name is a handle of the wrong type.
        outcome = error == ERROR_INVALID_HANDLE  ? ClaimOutcome::OtherKind
                  : error == ERROR_ACCESS_DENIED ? ClaimOutcome::Refused
                                                 : ClaimOutcome::Unusable;
        return nullptr;
    }
    // Owned, not merely there: anyone may hold the name open. Abandoned: its
    // owner ended without letting go, and it is this thread's now.
    const DWORD result = WaitForSingleObject(handle, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        outcome = ClaimOutcome::Taken;
        error = 0;
        return handle;
    }
    outcome = result == WAIT_TIMEOUT ? ClaimOutcome::Owned : ClaimOutcome::Unusable;
    error = result == WAIT_TIMEOUT ? 0 : GetLastError();
    CloseHandle(handle);
    return nullptr;
}

void dropNamedClaim(HANDLE claim)
{
    ReleaseMutex(claim);
    CloseHandle(claim);
}

bool namedClaimHeld(const char *name)
{
    const GlobalName global(name);
    // Refused or of another kind, the name is no loop's claim: a loop's
    // grants these rights to everyone.
    HANDLE handle = OpenMutexA(kSharedLockRights, FALSE, global.text);
    if (handle == nullptr)
        return false;
    const DWORD result = WaitForSingleObject(handle, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        ReleaseMutex(handle);
    CloseHandle(handle);
    return result == WAIT_TIMEOUT;
}

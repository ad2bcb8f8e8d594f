#include "controller/controllerMutex.h"

#include <sddl.h>

#include "core/controllerLock.h"

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
        lock = CreateMutexExA(attributes, name, 0, kControllerMutexRights);
        error = lock != nullptr ? 0 : GetLastError();
    }
    if (lock == nullptr && error == ERROR_ACCESS_DENIED) {
        lock = OpenMutexA(kControllerMutexRights, FALSE, name);
        error = lock != nullptr ? 0 : GetLastError();
    }
    return lock;
}

} // namespace

ControllerMutex openControllerMutex()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(kLockDescriptor, SDDL_REVISION_1, &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};

    ControllerMutex mutex;
    mutex.handle = createOrOpen(kControllerLockName, &attributes, mutex.globalError);
    mutex.global = mutex.handle != nullptr;
    if (!mutex.global) {
        DWORD localError = 0;
        mutex.handle = createOrOpen(kControllerLockLocalName, &attributes, localError);
    }
    if (descriptor != nullptr)
        LocalFree(descriptor);
    return mutex;
}

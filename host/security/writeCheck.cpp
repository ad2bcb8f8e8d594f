#include "host/security/writeCheck.h"

#include <sddl.h>

namespace {

// Every right that changes the object, its contents or who may use it.
const ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                    FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                    GENERIC_ALL | MAXIMUM_ALLOWED;

// The rights the service's own account gets: read, write, run and delete,
// not the permissions or the owner.
const char kModifyRights[] = "0x1301bf";

bool trusted(PSID sid, PSID serviceAccount)
{
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           (serviceAccount != nullptr && EqualSid(sid, serviceAccount));
}

// A name a reader knows for the accounts most often met, else the SID.
std::string accountName(PSID sid)
{
    const struct {
        WELL_KNOWN_SID_TYPE type;
        const char *name;
    } known[] = {
        {WinWorldSid, "Everyone"},
        {WinBuiltinUsersSid, "BUILTIN\\Users"},
        {WinAuthenticatedUserSid, "NT AUTHORITY\\Authenticated Users"},
        {WinInteractiveSid, "NT AUTHORITY\\INTERACTIVE"},
        {WinCreatorOwnerSid, "CREATOR OWNER"},
        {WinLocalServiceSid, "NT AUTHORITY\\LOCAL SERVICE"},
        {WinNetworkServiceSid, "NT AUTHORITY\\NETWORK SERVICE"},
    };
    for (const auto &account : known)
        if (IsWellKnownSid(sid, account.type))
            return account.name;
    char *text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text))
        return "an account";
    const std::string name = std::string("the account ") + text;
    LocalFree(text);
    return name;
}

std::string descriptorSddl(const std::string &account, const char *inherit, const char *usersRead)
{
    const std::string entry = std::string("(A;") + inherit + ";";
    std::string sddl = "O:BAD:P" + entry + "FA;;;SY)" + entry + "FA;;;BA)";
    if (account != "SY")
        sddl += entry + kModifyRights + ";;;" + account + ")";
    return sddl + entry + usersRead + ";;;BU)";
}

} // namespace

std::string dataFolderSddl(const std::string &account)
{
    return descriptorSddl(account, "OICI", "FRFX");
}

std::string dataFileSddl(const std::string &account)
{
    return descriptorSddl(account, "", "FR");
}

std::string writeRefusal(DWORD attributes, PSECURITY_DESCRIPTOR descriptor, PSID serviceAccount)
{
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return "it is a reparse point (a junction or a link), which may lead anywhere";
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (descriptor == nullptr || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr)
        return "its owner cannot be read";
    if (!trusted(owner, serviceAccount))
        return "it is owned by " + accountName(owner) + ", who may give anyone the right to write it";
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return "its permissions cannot be read";
    if (!present || dacl == nullptr)
        return "it has no permission list, so everyone may write it";
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void *entry = nullptr;
        if (!GetAce(dacl, index, &entry))
            return "its permissions cannot be read";
        const auto *header = static_cast<const ACE_HEADER *>(entry);
        switch (header->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            continue; // takes rights away only
        case ACCESS_ALLOWED_ACE_TYPE:
            break;
        default:
            return "its permissions hold an entry of a kind this check does not read (type " +
                   std::to_string(header->AceType) + ")";
        }
        const auto *allowed = static_cast<const ACCESS_ALLOWED_ACE *>(entry);
        PSID sid = const_cast<DWORD *>(&allowed->SidStart);
        if ((allowed->Mask & kChangingRights) != 0 && !trusted(sid, serviceAccount))
            return accountName(sid) + " may write it";
    }
    return "";
}

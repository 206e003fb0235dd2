#include "install/folder_ownership.h"

#include <sddl.h>

#include <initializer_list>
#include <vector>

#include "install/install_paths.h"
#include "install/links.h"
#include "install/settings.h"
#include "update/file_state.h"

namespace br {

const wchar_t kOwnedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

CreateFolderCall createFolderCall = CreateDirectoryW;
ResetTreeCall resetTreeCall = TreeResetNamedSecurityInfoW;

namespace {

struct OwnedDescriptor {
    LocalMemory memory;
    PSID owner = nullptr;
    PACL dacl = nullptr;
};

bool makeOwnedDescriptor(OwnedDescriptor& descriptor) {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kOwnedFolderSddl, SDDL_REVISION_1, &made, nullptr)) {
        return false;
    }
    descriptor.memory.reset(made);
    BOOL ownerDefaulted = FALSE;
    BOOL present = FALSE;
    BOOL daclDefaulted = FALSE;
    return GetSecurityDescriptorOwner(made, &descriptor.owner, &ownerDefaulted) &&
           GetSecurityDescriptorDacl(made, &present, &descriptor.dacl, &daclDefaulted) && present &&
           descriptor.owner != nullptr && descriptor.dacl != nullptr;
}

bool sameEntries(PACL a, PACL b) {
    ACL_SIZE_INFORMATION sizeA{};
    ACL_SIZE_INFORMATION sizeB{};
    if (a == nullptr || !GetAclInformation(a, &sizeA, sizeof(sizeA), AclSizeInformation) ||
        !GetAclInformation(b, &sizeB, sizeof(sizeB), AclSizeInformation) || sizeA.AceCount != sizeB.AceCount) {
        return false;
    }
    for (DWORD i = 0; i < sizeA.AceCount; ++i) {
        void* aceA = nullptr;
        void* aceB = nullptr;
        if (!GetAce(a, i, &aceA) || !GetAce(b, i, &aceB)) {
            return false;
        }
        auto* allowedA = static_cast<ACCESS_ALLOWED_ACE*>(aceA);
        auto* allowedB = static_cast<ACCESS_ALLOWED_ACE*>(aceB);
        if (allowedA->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            allowedA->Header.AceType != allowedB->Header.AceType ||
            allowedA->Header.AceFlags != allowedB->Header.AceFlags || allowedA->Mask != allowedB->Mask ||
            !EqualSid(&allowedA->SidStart, &allowedB->SidStart)) {
            return false;
        }
    }
    return true;
}

// Set so already (by an earlier run): nothing to do, however large the tree.
bool isOwnedAlready(HANDLE folder, const OwnedDescriptor& wanted) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR read = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &read) != ERROR_SUCCESS) {
        return false;
    }
    LocalMemory held(read);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    return owner != nullptr && EqualSid(owner, wanted.owner) &&
           GetSecurityDescriptorControl(read, &control, &revision) && (control & SE_DACL_PROTECTED) != 0 &&
           sameEntries(dacl, wanted.dacl);
}

// Hands take each entry of the folder but "." and "..", until it says stop
// (false); whether it went through them all.
template <typename Take>
bool everyEntry(const std::wstring& folder, Take take) {
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) {
        return true;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L".." && !take(name, found.dwFileAttributes)) {
            return false;
        }
    } while (FindNextFileW(search.get(), &found));
    return true;
}

// Empty, or an install of this launcher (its state file at the top).
bool isEmptyOrAnInstall(const std::wstring& folder) {
    return GetFileAttributesW(stateFilePath(folder).c_str()) != INVALID_FILE_ATTRIBUTES ||
           everyEntry(folder, [](const std::wstring&, DWORD) { return false; });
}

// A reset of the tree must not pass through a link to what lies elsewhere.
bool linkBelow(const std::wstring& folder) {
    return !everyEntry(folder, [&](const std::wstring& name, DWORD attributes) {
        const std::wstring path = folder + L"\\" + name;
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !isLink(path) &&
               ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || !linkBelow(path));
    });
}

// Files that an earlier owner shut administrators out of are taken over
// too: ownership first, then the new DACL. Put back as they were afterwards.
class PrivilegeScope {
public:
    explicit PrivilegeScope(std::initializer_list<const wchar_t*> names) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
            return;
        }
        for (const wchar_t* name : names) {
            TOKEN_PRIVILEGES wanted{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
            TOKEN_PRIVILEGES before{};
            DWORD size = sizeof(before);
            if (LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) &&
                AdjustTokenPrivileges(token.get(), FALSE, &wanted, sizeof(before), &before, &size) &&
                GetLastError() == ERROR_SUCCESS) {
                previous.push_back(before);
            }
        }
    }
    ~PrivilegeScope() {
        for (TOKEN_PRIVILEGES& before : previous) {
            AdjustTokenPrivileges(token.get(), FALSE, &before, 0, nullptr, nullptr);
        }
    }
    PrivilegeScope(const PrivilegeScope&) = delete;
    PrivilegeScope& operator=(const PrivilegeScope&) = delete;

private:
    UniqueHandle token;
    std::vector<TOKEN_PRIVILEGES> previous;
};

// An existing folder: an earlier install of this launcher, or an empty one,
// becomes the administrators' with everything below it (entries that were set
// on files by hand go too); any other keeps its permissions, and is
// remembered as such, since after this run it holds a state file as well.
void takeOverIfOurs(const std::wstring& folder, HANDLE held, const OwnedDescriptor& owned) {
    if (namesFolder(readMachineText(kSharedFolderValue), folder) || isOwnedAlready(held, owned)) {
        return;
    }
    if (!isEmptyOrAnInstall(folder)) {
        writeMachineText(kSharedFolderValue, folder);
        return;
    }
    if (linkBelow(folder)) {
        return;
    }
    PrivilegeScope privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
    std::wstring name = folder;
    resetTreeCall(name.data(), SE_FILE_OBJECT,
                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                  owned.owner, nullptr, owned.dacl, nullptr, FALSE, nullptr, ProgressInvokeNever, nullptr);
}

bool isPlainFolder(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(handle, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

bool prepareInstallFolder(const std::wstring& folder, UniqueHandle& hold) {
    hold.reset();
    OwnedDescriptor owned;
    if (linkAtOrAbove(folder) || !makeOwnedDescriptor(owned)) {
        return false;
    }

    // A new folder carries its descriptor from the start: nothing can be put
    // in it before it is the administrators'.
    bool made = false;
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        createParentDirectories(folder);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), owned.memory.get(), FALSE};
        made = createFolderCall(folder.c_str(), &attributes) != FALSE;
    }

    // Without delete sharing: while it is held, nobody can rename or remove it.
    hold.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr));
    // Looked at again once held: a folder above swapped for a link between
    // the first look and the open would have led the open elsewhere.
    if (!hold || !isPlainFolder(hold.get()) || linkAtOrAbove(folder)) {
        hold.reset();
        return false;
    }
    if (made) {
        if (namesFolder(readMachineText(kSharedFolderValue), folder)) {
            deleteMachineValue(kSharedFolderValue);
        }
    } else {
        takeOverIfOurs(folder, hold.get(), owned);
    }
    return true;
}

}  // namespace br

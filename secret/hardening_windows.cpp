#include "secret/hardening.h"

// windows.h first: the others build on its types.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <cwchar>

namespace quirlomat {

namespace {

// Any unhandled exception ends the process on the spot. The system's own last-chance handler
// would hand the process to Windows Error Reporting, which may write a dump of all its memory
// to disk (LocalDumps) or send it away; a password in that memory must go neither way.
LONG WINAPI EndAtOnce(EXCEPTION_POINTERS* /*exception*/) {
    (void)TerminateProcess(GetCurrentProcess(), 255);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A process's default access rights give every program of the same user full access to it,
// reading its memory included. The new list keeps the user only what it takes to wait for the
// process, see that it runs and end it. The owner can still change the list (Windows gives it
// that right regardless), as root on Linux can still read a non-dumpable process; what it
// stops is a program that just opens the process and reads.
void KeepOtherProcessesOut() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return;
    }
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    const bool known = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != 0;
    (void)CloseHandle(token);
    if (!known) {
        return;
    }
    LPWSTR user = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user)) {
        return;
    }
    // Protected (P: nothing inherited); SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
    // PROCESS_TERMINATE for the user.
    wchar_t text[256];
    const int length =
        std::swprintf(text, sizeof text / sizeof text[0], L"D:P(A;;0x101001;;;%ls)", user);
    (void)LocalFree(user);
    if (length <= 0) {
        return;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) && present) {
        (void)SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, list, nullptr);
    }
    (void)LocalFree(descriptor);
}

}  // namespace

void HardenProcess() noexcept {
    // No error boxes of the system's own, and no crash report: a crash ends the process.
    (void)SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    (void)SetUnhandledExceptionFilter(EndAtOnce);
    // A corrupted heap ends the process instead of being used on.
    (void)HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    // Libraries loaded later (the toolkit loads some of the system's on demand) come from the
    // system folder only, never from the folder the program was started in.
    (void)SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    KeepOtherProcessesOut();
}

void LockAllMemory() noexcept {
    // Only the keepers lock all their memory, and Windows needs no keeper: it keeps the
    // clipboard by itself. The secret memory is locked on its own.
}

}  // namespace quirlomat

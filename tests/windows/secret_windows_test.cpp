// Secret memory and process hardening as Windows has them, asked of the system itself.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <windows.h>

#include <gtest/gtest.h>

#include "secret/hardening.h"
#include "secret/secret_memory.h"
#include "support/secret_releases.h"

namespace quirlomat {
namespace {

MEMORY_BASIC_INFORMATION Query(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    EXPECT_EQ(VirtualQuery(address, &info, sizeof info), sizeof info);
    return info;
}

// Pages of its own, writable and never executable, wiped when given back, whatever the size
// asked for; then either returned to the system whole or kept, committed and all zeros, for
// the next secret of its size.
TEST(SecretMemory, IsAnAllocationOfItsOwnWipedAndGivenBack) {
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{1}, std::size_t{5000}}) {
        const testing::SecretReleases recorder;
        auto* memory = static_cast<unsigned char*>(AllocateSecret(bytes));
        ASSERT_NE(memory, nullptr) << bytes;
        std::fill_n(memory, std::max<std::size_t>(bytes, 1), 'p');
        const MEMORY_BASIC_INFORMATION held = Query(memory);
        EXPECT_EQ(held.AllocationBase, memory) << bytes;
        EXPECT_EQ(held.State, static_cast<DWORD>(MEM_COMMIT)) << bytes;
        EXPECT_EQ(held.Protect, static_cast<DWORD>(PAGE_READWRITE)) << bytes;
        EXPECT_GE(held.RegionSize, bytes) << bytes;

        ReleaseSecret(memory, bytes);
        ASSERT_EQ(recorder.all().size(), 1U) << bytes;
        EXPECT_TRUE(recorder.all().front().wiped) << bytes;
        EXPECT_EQ(recorder.all().front().bytes, held.RegionSize) << bytes;
        const MEMORY_BASIC_INFORMATION after = Query(memory);
        if (after.State != static_cast<DWORD>(MEM_FREE)) {
            EXPECT_EQ(after.State, static_cast<DWORD>(MEM_COMMIT)) << bytes;
            EXPECT_TRUE(std::all_of(memory, memory + held.RegionSize, [](unsigned char byte) {
                return byte == 0;
            })) << bytes;
        }
    }
}

TEST(SecretMemory, ReportsWhatItCannotGive) {
    EXPECT_EQ(AllocateSecret(std::numeric_limits<std::size_t>::max() / 2), nullptr);
    EXPECT_EQ(AllocateSecret(std::numeric_limits<std::size_t>::max()), nullptr);
}

// After hardening, opening the process for reading its memory is refused to the user's own
// programs, while waiting for it and asking after it still work.
TEST(Hardening, KeepsTheUsersOtherProgramsOutOfItsMemory) {
    const DWORD self = GetCurrentProcessId();
    HANDLE before = OpenProcess(PROCESS_VM_READ, FALSE, self);
    ASSERT_NE(before, nullptr) << "the control: readable before hardening";
    (void)CloseHandle(before);

    HardenProcess();

    for (const DWORD refused : {DWORD{PROCESS_VM_READ}, DWORD{PROCESS_VM_WRITE},
                                DWORD{PROCESS_DUP_HANDLE}, DWORD{PROCESS_CREATE_THREAD}}) {
        SetLastError(0);
        HANDLE opened = OpenProcess(refused, FALSE, self);
        EXPECT_EQ(opened, nullptr) << "access " << refused;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "access " << refused;
        if (opened != nullptr) {
            (void)CloseHandle(opened);
        }
    }
    HANDLE watching = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, self);
    EXPECT_NE(watching, nullptr);
    if (watching != nullptr) {
        (void)CloseHandle(watching);
    }
}

}  // namespace
}  // namespace quirlomat

#include "secret/secret_memory.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "secret/secret_buffer.h"
#include "secret/secret_string.h"
#include "support/process_probe.h"
#include "support/secret_releases.h"

namespace quirlomat {
namespace {

using testing::MappingFlags;
using testing::StatusKiB;

TEST(SecretMemory, IsWipedBeforeItIsGivenBack) {
    const testing::SecretReleases recorder;
    {
        // Held only to be released at the end of the scope.
        [[maybe_unused]] const SecretBytes bytes(5000, 'p');
        [[maybe_unused]] const SecretText text(3000, U'q');
        SecretBuffer buffer;
        ASSERT_TRUE(buffer.Allocate(100));
        std::fill_n(buffer.data(), 100, 'r');
    }
    ASSERT_EQ(recorder.all().size(), 3U);
    for (const auto& release : recorder.all()) {
        EXPECT_TRUE(release.wiped) << release.bytes << " bytes";
    }
    // Growth moves the text to a larger allocation; the old one is wiped as well.
    SecretBytes growing;
    growing.reserve(100);
    growing.assign(100, 'g');
    const std::size_t before = recorder.all().size();
    growing.append(10000, 'h');
    ASSERT_EQ(recorder.all().size(), before + 1);
    EXPECT_TRUE(recorder.all().back().wiped);
}

// Locked (never swapped out) and left out of core dumps, as the kernel itself reports it.
TEST(SecretMemory, IsLockedAndExcludedFromCoreDumps) {
    constexpr std::size_t kBytes = std::size_t{256} * 1024;
    const std::optional<long> before = StatusKiB(0, "VmLck");
    ASSERT_TRUE(before.has_value());
    void* memory = AllocateSecret(kBytes);
    ASSERT_NE(memory, nullptr);
    const std::optional<long> during = StatusKiB(0, "VmLck");
    const std::optional<std::string> flags = MappingFlags(0, memory);
    ReleaseSecret(memory, kBytes);
    const std::optional<long> after = StatusKiB(0, "VmLck");

    ASSERT_TRUE(during.has_value() && after.has_value());
    ASSERT_TRUE(flags.has_value());
    EXPECT_NE(flags.value_or("").find(" dd"), std::string::npos) << flags.value_or("");
    // The sanitizers' runtime answers mlock itself and locks nothing.
#if !defined(QUIRLOMAT_SANITIZED)
    EXPECT_GE(during.value_or(0) - before.value_or(0), static_cast<long>(kBytes / 1024));
    EXPECT_EQ(after.value_or(-1), before.value_or(0)) << "unlocked again on release";
    EXPECT_NE(flags.value_or("").find(" lo"), std::string::npos) << flags.value_or("");
#endif
}

// Blocks given back are kept for the next secret of their size, so that making password
// after password does not map and lock its memory afresh; whether a block comes anew or
// kept, it starts wiped, locked and out of core dumps. Several sizes at once, more blocks
// than are kept, and each allocated twice over.
TEST(SecretMemory, GivesEveryBlockWipedLockedAndExcludedWhetherNewOrKept) {
    constexpr std::size_t kKiB = 1024;
    const std::size_t sizes[] = {1, 4096, 5000, 128 * kKiB, 128 * kKiB + 1};
    for (int round = 0; round < 3; ++round) {
        std::vector<std::pair<void*, std::size_t>> held;
        for (const std::size_t bytes : sizes) {
            for (int copy = 0; copy < 3; ++copy) {
                auto* memory = static_cast<unsigned char*>(AllocateSecret(bytes));
                ASSERT_NE(memory, nullptr);
                EXPECT_TRUE(
                    std::all_of(memory, memory + bytes, [](unsigned char b) { return b == 0; }))
                    << bytes << " bytes, round " << round;
                const std::optional<std::string> flags = MappingFlags(0, memory);
                EXPECT_NE(flags.value_or("").find(" dd"), std::string::npos) << flags.value_or("");
#if !defined(QUIRLOMAT_SANITIZED)
                EXPECT_NE(flags.value_or("").find(" lo"), std::string::npos) << flags.value_or("");
#endif
                std::fill_n(memory, bytes, 0xA5);
                held.emplace_back(memory, bytes);
            }
        }
        for (const auto& [memory, bytes] : held) {
            ReleaseSecret(memory, bytes);
        }
    }
}

TEST(SecretMemory, ReportsWhatItCannotGive) {
    EXPECT_EQ(AllocateSecret(std::numeric_limits<std::size_t>::max() / 2), nullptr);
    SecretBuffer buffer;
    EXPECT_FALSE(buffer.Allocate(std::numeric_limits<std::size_t>::max() / 2));
    EXPECT_EQ(buffer.capacity(), 0U);
    EXPECT_FALSE(buffer.Push('x'));
    EXPECT_THROW(SecretAllocator<char32_t>().allocate(std::numeric_limits<std::size_t>::max() / 2),
                 std::bad_alloc);
}

TEST(SecretBuffer, HoldsNoMoreThanItsCapacity) {
    SecretBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(2));
    EXPECT_FALSE(buffer.Allocate(2)) << "allocated once only";
    EXPECT_TRUE(buffer.Push('a'));
    EXPECT_TRUE(buffer.Push('b'));
    EXPECT_FALSE(buffer.Push('c'));
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), "ab");
    EXPECT_FALSE(buffer.Resize(3));
    EXPECT_TRUE(buffer.Resize(1));
    EXPECT_EQ(buffer.size(), 1U);
}

}  // namespace
}  // namespace quirlomat

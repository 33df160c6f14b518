#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "secret/secret_memory.h"

namespace quirlomat::testing {

// Records every release of secret memory while it lives: the size, and whether every byte
// was zero when the memory was given back.
class SecretReleases {
public:
    struct Release {
        std::size_t bytes;
        bool wiped;
    };

    SecretReleases() {
        seen().clear();
        seen().reserve(64);
        test_hooks::ObserveSecretReleases(&Record);
    }
    ~SecretReleases() { test_hooks::ObserveSecretReleases(nullptr); }
    SecretReleases(const SecretReleases&) = delete;
    SecretReleases& operator=(const SecretReleases&) = delete;

    const std::vector<Release>& all() const { return seen(); }

private:
    static std::vector<Release>& seen() {
        static std::vector<Release> releases;
        return releases;
    }
    static void Record(const void* memory, std::size_t bytes) {
        const auto* begin = static_cast<const unsigned char*>(memory);
        seen().push_back(
            {bytes, std::all_of(begin, begin + bytes, [](unsigned char b) { return b == 0; })});
    }
};

}  // namespace quirlomat::testing

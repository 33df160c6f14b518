#pragma once

#include <string>
#include <vector>

namespace quirlomat::testing {

// The null-terminated array of char* that posix_spawn takes for argv and envp. The pointers
// point into strings, which must outlive the call and stay unchanged until then.
inline std::vector<char*> SpawnArguments(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace quirlomat::testing

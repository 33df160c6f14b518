#include "support/process_probe.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quirlomat::testing {

namespace {

std::string ProcPath(pid_t pid, const std::string& name) {
    return "/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) + "/" + name;
}

}  // namespace

std::string ProcFile(pid_t pid, const std::string& name) {
    const int fd = open(ProcPath(pid, name).c_str(), O_RDONLY | O_CLOEXEC);
    std::string content;
    if (fd < 0) {
        return content;
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return content;
}

std::string DescribeThreads(pid_t pid) {
    const std::string task = ProcPath(pid, "task");
    DIR* threads = opendir(task.c_str());
    if (threads == nullptr) {
        return "process " + std::to_string(pid) + " is gone\n";
    }
    std::string description;
    while (const dirent* entry = readdir(threads)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string thread = std::string("task/") + entry->d_name + "/";
        std::string name = ProcFile(pid, thread + "comm");
        if (!name.empty() && name.back() == '\n') {
            name.pop_back();
        }
        std::string state;
        std::istringstream status(ProcFile(pid, thread + "status"));
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("State:", 0) == 0) {
                state = line.substr(sizeof "State:");
            }
        }
        description.append("thread ").append(entry->d_name).append(" (").append(name);
        description.append(") ").append(state).append(", waits in ");
        description.append(ProcFile(pid, thread + "wchan")).append("\n");
    }
    closedir(threads);

    // gdb is bounded by timeout(1), since the test that asks is already late.
    const std::string gdb = "command -v gdb >/dev/null && timeout 30 gdb -batch -nx -p " +
                            std::to_string(pid) +
                            " -ex 'thread apply all bt 12' 2>/dev/null | grep -E '^(Thread|#)'";
    if (FILE* stacks = popen(gdb.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, stacks) != nullptr) {
            description += line;
        }
        pclose(stacks);
    }
    return description;
}

std::optional<long> StatusKiB(pid_t pid, const std::string& field) {
    return StatusNumber(pid, field);
}

std::optional<long> StatusNumber(pid_t pid, const std::string& field) {
    std::istringstream status(ProcFile(pid, "status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return std::nullopt;
}

std::optional<long long> CoreFileLimit(pid_t pid) {
    std::istringstream limits(ProcFile(pid, "limits"));
    std::string line;
    while (std::getline(limits, line)) {
        if (line.rfind("Max core file size", 0) == 0) {
            std::istringstream values(line.substr(sizeof "Max core file size" - 1));
            std::string soft;
            values >> soft;
            return soft == "unlimited" ? -1 : std::stoll(soft);
        }
    }
    return std::nullopt;
}

std::optional<bool> IsDumpable(pid_t pid) {
    // "Uid:" real, effective, saved, file system.
    std::istringstream status(ProcFile(pid, "status"));
    std::string line;
    long effective = -1;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream(line.substr(4)) >> effective >> effective;
        }
    }
    // The directory keeps the process's owner; the files in it are root's when it is not
    // dumpable.
    struct stat file = {};
    if (effective <= 0 || stat(ProcPath(pid, "status").c_str(), &file) != 0) {
        return std::nullopt;
    }
    return static_cast<long>(file.st_uid) == effective;
}

std::vector<std::string> AsUnprivilegedUser() {
    if (getuid() != 0) {
        return {};
    }
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

std::optional<std::string> MappingFlags(pid_t pid, const void* address) {
    const auto where = reinterpret_cast<std::uintptr_t>(address);
    std::istringstream smaps(ProcFile(pid, "smaps"));
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long long start = 0;
        unsigned long long end = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &start, &end) == 2 &&
            line.find(':') > line.find(' ')) {
            inside = where >= start && where < end;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line.substr(sizeof "VmFlags:" - 1);
        }
    }
    return std::nullopt;
}

}  // namespace quirlomat::testing

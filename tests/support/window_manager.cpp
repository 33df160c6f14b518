#include "support/window_manager.h"

#include <chrono>
#include <thread>
#include <vector>

namespace quirlomat::testing {

std::unique_ptr<RunningProgram> StartOpenbox(const std::string& display) {
    const std::string announce = std::string("xprop -root -f ") + kWindowManagerRunning +
                                 " 8s -set " + kWindowManagerRunning + " yes";
    auto openbox = std::make_unique<RunningProgram>(
        std::vector<std::string>{"openbox", "--sm-disable", "--startup", announce}, display);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline && !openbox->HasEnded()) {
        if (RunCommand({"xprop", "-root", kWindowManagerRunning}, display, {}, 5000)
                .out.find("\"yes\"") != std::string::npos) {
            return openbox;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

}  // namespace quirlomat::testing

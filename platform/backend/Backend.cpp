#include "Backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace backend {

std::unique_ptr<Backend> CreateSdlBackend();
std::unique_ptr<Backend> CreateHeadlessBackend();

namespace {

// The first entry is the default.
constexpr BackendEntry kBootstrap[] = {
    {"sdl", CreateSdlBackend},
    {"headless", CreateHeadlessBackend},
};

// Never destroyed at exit: a backend is shut down by the application, and
// tearing down a display whose connection is already lost would hang.
std::unique_ptr<Backend>& Slot() {
    static auto* current = new std::unique_ptr<Backend>();
    return *current;
}

}  // namespace

std::span<const BackendEntry> Available() { return kBootstrap; }

Backend& Current() {
    auto& slot = Slot();
    if (!slot) {
        const char* wanted = std::getenv("KORVANE_BACKEND");
        for (const auto& entry : kBootstrap) {
            if (!wanted || !*wanted || std::strcmp(wanted, entry.name) == 0) {
                slot = entry.create();
                break;
            }
        }
        if (!slot) {
            std::fprintf(stderr, "korvane: unknown backend '%s'; using '%s'\n", wanted,
                         kBootstrap[0].name);
            slot = kBootstrap[0].create();
        }
    }
    return *slot;
}

void Install(std::unique_ptr<Backend> backend) { Slot() = std::move(backend); }

void Uninstall() { Slot().reset(); }

}  // namespace backend

// Registers the program's built-in resources with the platform.
#include <cstdint>
#include <span>

#include "Classes.h"

extern const std::span<const uint8_t> FormStreamTFRMMAIN;
extern const std::span<const uint8_t> IconMAINICON;

namespace {
const bool kRegistered = [] {
    static const TResource resources[] = {
        {"TFRMMAIN", FormStreamTFRMMAIN},
        {"MAINICON", IconMAINICON},
    };
    RegisterResources(resources);
    return true;
}();
}  // namespace

#include "Registry.h"

// Only Windows has a registry.
std::string ReadRegistryString(std::string_view, std::string_view) {
    return {};
}

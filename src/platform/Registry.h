#pragma once

#include <string>
#include <string_view>

/// A text value of the system registry (the user's key first, then the machine's), or empty when there is
/// none. Only Windows has a registry: elsewhere always empty.
std::string ReadRegistryString(std::string_view key, std::string_view value);

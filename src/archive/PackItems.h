#pragma once

#include <string>
#include <variant>
#include <vector>

/// One item of the names handed to a pack: a single name or a string list of names.
using PackItem = std::variant<std::string, std::vector<std::string>>;
using PackItems = std::vector<PackItem>;

/// The names of the items in order (a string gives itself, a list each of its lines); with
/// `dropEmpty`, empty names are left out.
std::vector<std::string> FlattenItems(const PackItems& items, bool dropEmpty);

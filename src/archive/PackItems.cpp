#include "PackItems.h"

std::vector<std::string> FlattenItems(const PackItems& items, bool dropEmpty) {
    std::vector<std::string> names;
    auto add = [&](const std::string& name) {
        if (!dropEmpty || !name.empty())
            names.push_back(name);
    };
    for (const PackItem& item : items) {
        if (const auto* one = std::get_if<std::string>(&item))
            add(*one);
        else
            for (const std::string& name : std::get<std::vector<std::string>>(item))
                add(name);
    }
    return names;
}

#include "ZipContents.h"

#include "Shell.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

std::vector<std::pair<std::string, std::string>> ReadZipContents(const std::string& archive) {
    int status = 0;
    std::string out = RunShell(
        "python3 '" + std::string(QUILLON_TEST_SUPPORT) + "/zip_contents.py' '" + archive + "'", &status);
    EXPECT_EQ(status, 0) << "the members of " << archive << " could not be read";
    std::vector<std::pair<std::string, std::string>> members;
    std::istringstream lines(out);
    std::string name, data;
    while (lines >> name >> data)
        members.emplace_back(fromHex(name), data == "-" ? std::string() : fromHex(data));
    return members;
}

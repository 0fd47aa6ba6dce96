#include "ZipHeaders.h"

#include "Shell.h"

#include <gtest/gtest.h>
#include <sstream>

std::vector<ZipMember> ReadZipHeaders(const std::string& archive, bool readData) {
    int status = 0;
    std::string out = RunShell("python3 '" + std::string(QUILLON_TEST_SUPPORT) + "/zip_headers.py' " +
                                   (readData ? "" : "--headers-only ") + "'" + archive + "'",
                               &status);
    EXPECT_EQ(status, 0) << "zip headers of " << archive << " could not be read";
    std::vector<ZipMember> members;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string hex;
        fields >> hex;
        ZipMember m;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            m.name += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        int crcOk = 0;
        fields >> std::hex >> m.centralFlags >> m.localFlags >> std::dec >> m.centralExtra >> m.localExtra >>
            m.method >> crcOk >> m.mtime >> m.centralExtraIds >> m.localExtraIds >> m.size >>
            m.compressedSize >> m.versionNeeded >> m.madeBy;
        m.crcOk = crcOk == 1;
        members.push_back(m);
    }
    return members;
}

#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// What the local and central headers of one archive member say (tests/support/zip_headers.py).
struct ZipMember {
    std::string name; ///< the name's raw bytes
    unsigned centralFlags = 0, localFlags = 0;
    unsigned centralExtra = 0, localExtra = 0;  ///< lengths of the extra fields
    std::string centralExtraIds, localExtraIds; ///< IDs of their blocks in hexadecimal, "-" for none
    int method = -1;                            ///< 0 stored, 8 deflated
    bool crcOk = false;                         ///< the data read back matches the CRC
    std::string mtime;                          ///< YYYYMMDDhhmmss as the header holds it
    uint64_t size = 0, compressedSize = 0;
    unsigned versionNeeded = 0; ///< of the local header
    unsigned madeBy = 0;        ///< system that made it: 0 MS-DOS, 3 Unix

    bool utf8Flag() const { return ((centralFlags | localFlags) & 0x800) != 0; }
};

/// The members of an archive in their order; fails the calling test (and returns what it read) when the
/// archive cannot be read. Without `readData` the members' data is not read and `crcOk` stays false.
std::vector<ZipMember> ReadZipHeaders(const std::string& archive, bool readData = true);

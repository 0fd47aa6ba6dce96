#pragma once

#include <string>
#include <vector>

/// What the local and central headers of one archive member say (tests/support/zip_headers.py).
struct ZipMember {
    std::string name; ///< the name's raw bytes
    unsigned centralFlags = 0, localFlags = 0;
    unsigned centralExtra = 0, localExtra = 0; ///< lengths of the extra fields
    int method = -1;                           ///< 0 stored, 8 deflated
    bool crcOk = false;                        ///< the data read back matches the CRC
    std::string mtime;                         ///< YYYYMMDDhhmmss as the header holds it

    bool utf8Flag() const { return ((centralFlags | localFlags) & 0x800) != 0; }
};

/// The members of an archive in their order; fails the calling test (and returns what it read) when the
/// archive cannot be read.
std::vector<ZipMember> ReadZipHeaders(const std::string& archive);

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// NTFS named streams (a file's further data under "name:stream"), which a pack copies into files of their
// own. Only Windows has them; on other systems, and on volumes without them, a file has none.

struct NamedStream {
    std::string name;        ///< as the system names it: ":" the stream's own name ":$DATA" (UTF-8)
    uint32_t attributes = 0; ///< the stream header's attribute value
    int64_t size = 0;        ///< in bytes
};

/// Whether the volume that holds `path` (in the system's form) keeps named streams.
bool VolumeHasNamedStreams(const std::string& path);

/// The named streams of the file `path` (in the system's form), in the order the system's backup reading
/// gives them; empty when it has none or they cannot be read.
std::vector<NamedStream> NamedStreamsOf(const std::string& path);

/// Copies the stream into the new file `copy` (both in the system's form): as many bytes as the low 32 bits
/// of its size, with the stream's attributes as the file's and the times of `file`. False when `copy`
/// exists already (it is then left as it is) or the stream cannot be opened; throws EFileError when reading
/// or writing fails.
bool CopyNamedStream(const std::string& file, const NamedStream& stream, const std::string& copy);

#pragma once

#include <string>
#include <utility>
#include <vector>

/// The members of an archive in their order: raw name bytes and data, as Python's zipfile reads them
/// (tests/support/zip_contents.py). Fails the calling test (and returns what it read) when the archive
/// cannot be read.
std::vector<std::pair<std::string, std::string>> ReadZipContents(const std::string& archive);

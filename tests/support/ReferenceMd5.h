#pragma once

#include <string>
#include <string_view>

/// MD5 of bytes as lower-case hex, computed by OpenSSL: an oracle independent of the program's own MD5.
std::string ReferenceMd5(std::string_view data);

#include "RemotePath.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> components(const std::string& absolute) {
    std::vector<std::string> parts;
    size_t start = 1;
    while (start < absolute.size()) {
        size_t slash = absolute.find('/', start);
        parts.push_back(
            absolute.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

} // namespace

std::string JoinRemotePath(const std::string& from, const std::string& dir) {
    std::vector<std::string> parts;
    auto add = [&](const std::string& path) {
        size_t start = 0;
        while (start <= path.size()) {
            size_t slash = path.find('/', start);
            std::string part =
                path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            if (slash == std::string::npos)
                break;
            start = slash + 1;
        }
    };
    if (dir.empty() || dir[0] != '/')
        add(from);
    add(dir);
    std::string joined;
    for (const std::string& part : parts)
        joined += "/" + part;
    return joined.empty() ? "/" : joined;
}

std::string RelativeRemotePath(const std::string& from, const std::string& to) {
    std::vector<std::string> a = components(from), b = components(to);
    size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common])
        ++common;
    std::string path;
    for (size_t i = common; i < a.size(); ++i)
        path += "../";
    for (size_t i = common; i < b.size(); ++i)
        path += b[i] + (i + 1 < b.size() ? "/" : "");
    if (path.empty())
        return ".";
    if (path.back() == '/')
        path.pop_back();
    return path;
}

void SplitHost(const std::string& host, std::string& name, int& port) {
    port = 21;
    name = host;
    if (!host.empty() && host[0] == '[') {
        size_t close = host.find(']');
        if (close != std::string::npos) {
            name = host.substr(1, close - 1);
            if (close + 1 < host.size() && host[close + 1] == ':')
                port = std::atoi(host.c_str() + close + 2);
        }
        return;
    }
    size_t colon = host.find(':');
    if (colon != std::string::npos && host.find(':', colon + 1) == std::string::npos) {
        name = host.substr(0, colon);
        port = std::atoi(host.c_str() + colon + 1);
    }
}

std::string PercentEncodePath(const std::string& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        // ASCII letters and digits only: the locale must not decide which bytes stay.
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

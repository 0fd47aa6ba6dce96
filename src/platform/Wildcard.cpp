#include "Wildcard.h"

#include <algorithm>

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Bytes of the UTF-8 character at s[i].
size_t charLength(std::string_view s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return std::min(n, s.size() - i);
}

bool sameChar(std::string_view a, size_t i, std::string_view b, size_t j, size_t n) {
    if (n == 1)
        return lower(a[i]) == lower(b[j]);
    return a.substr(i, n) == b.substr(j, n);
}

bool match(std::string_view name, std::string_view mask) {
    size_t n = 0, m = 0;
    size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
            continue;
        }
        if (m < mask.size()) {
            size_t len = charLength(name, n);
            if (mask[m] == '?') {
                n += len;
                ++m;
                continue;
            }
            size_t mlen = charLength(mask, m);
            if (mlen == len && sameChar(name, n, mask, m, len)) {
                n += len;
                m += mlen;
                continue;
            }
        }
        if (starMask == std::string_view::npos)
            return false;
        m = starMask + 1;
        starName += charLength(name, starName);
        n = starName;
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask.empty())
        return false;
    if (mask == "*.*" || match(name, mask))
        return true;
    // "name.*" also finds "name" without an extension, as the platform's wildcards do.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return match(name, mask.substr(0, mask.size() - 2));
    return false;
}

bool LessNoCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(lower(a[i])),
                      y = static_cast<unsigned char>(lower(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

#include "RemoteList.h"

bool SplitUpdateLine(std::string_view line, std::string_view& name, std::string_view& digest) {
    size_t first = line.find('\x01');
    if (first == std::string_view::npos || first + 1 == line.size())
        return false;
    size_t second = line.find('\x01', first + 1);
    name = line.substr(0, first);
    digest = line.substr(first + 1,
                         second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    return true;
}

bool TRemoteList::Load(std::string bytes, const std::function<void()>& pump) {
    bytes_ = std::move(bytes);
    digests_.clear();
    std::string_view text(bytes_);
    text = text.substr(0, text.find('\0'));
    size_t lines = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        std::string_view name, digest;
        if (!SplitUpdateLine(line, name, digest))
            return false;
        digests_.emplace(name, digest); // the first line of a name wins
        if (end == std::string_view::npos)
            break;
        pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        if (pump && ++lines % 4096 == 0)
            pump();
    }
    return true;
}

const std::string_view* TRemoteList::Find(std::string_view cp932Name) const {
    auto it = digests_.find(cp932Name);
    return it == digests_.end() ? nullptr : &it->second;
}

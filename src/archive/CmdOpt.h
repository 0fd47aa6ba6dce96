#pragma once

#include "PackItems.h"

#include <functional>
#include <string>

/// Builds the command line handed to an archiver library: items separated by single spaces, file names
/// in double quotes, member names through an optional escape, long member lists in a response file.
class TCmdOpt {
public:
    std::string Text;          ///< the command so far
    bool QuotingStyle = false; ///< true: switch outside the quotes (-o "dir"); false: "-odir"
    std::function<std::string(const std::string&)> NameEscape;

    void AddOption(const std::string& option);                       ///< " " + option, even when empty
    void AddQuoted(const std::string& sw, const std::string& value); ///< nothing for the NUL marker
    void AddNumber(const std::string& sw, int n);                    ///< "-" + sw + n when n >= 0
    void AddFlag(const std::string& sw, bool on);                    ///< "-" + sw when on
    void AddDir(const std::string& sw, const std::string& folder);   ///< quoted, with a trailing separator
    void AddFile(const std::string& sw, const std::string& name);    ///< quoted and escaped
    int AddFiles(const std::string& sw, const PackItems& items);     ///< every non-empty name
    /// Writes every non-empty name, quoted and escaped, one per CR LF line in CP932, to `file`, then adds
    /// the quoted "@file". Throws EFileError (or EEncodingError) before anything is added.
    int AddResponseFile(const PackItems& items, const std::string& file);

private:
    std::string escaped(const std::string& name) const { return NameEscape ? NameEscape(name) : name; }
};

#pragma once

#include "ArchiverOptions.h"
#include "PackItems.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

using CollectProgress = std::function<void(int state, void* extractingInfo, bool& abort)>;

/// Expands the patterns of `files` under `baseDir` into the sorted list of existing files to pack (names
/// relative to the base folder, '\' separators, no duplicates), following the options a, r, p, jf, jo, job
/// and jx. Each accepted name is reported to `progress` with state 0x0805; a handler that sets `abort`
/// stops the search. Afterwards `w` has r = −1, jo and job unset and p = 1. `temporaries` receives the
/// full paths of files made for the pack (named stream copies; none on platforms without them). Throws
/// EFileError when the base folder cannot be entered and EQuillon for a malformed date bound. The process's
/// current folder is never changed.
std::vector<std::string> CollectFiles(std::vector<std::string>& temporaries, TArchiverOptions& w,
                                      const std::string& baseDir, const CollectProgress& progress,
                                      const PackItems& files, bool& abort);

/// The name a named stream's copy is packed under: the file's list name followed by the stream's name
/// (":Zone.Identifier:$DATA") with each ':' as the separator's first character, and a ':' followed by U+0005
/// as both, the U+0005 dropped; unchanged with a separator of other than two characters. With ";#", a.txt's
/// Zone.Identifier gives "a.txt;Zone.Identifier;$DATA".
std::string StreamCopyName(const std::string& listName, const std::string& streamName,
                           const std::string& separator);

/// A date bound of jo/job ("[l]YYMMDD[hhmmss]" or "[l]YYYYMMDD[hhmmss]"; `defaultTime` "hhmmss" when the
/// time is left out) as a time; 0 for no bound (the NUL marker, the empty text, any other length). Throws
/// EQuillon when the text is not a valid date and time.
std::time_t DateBound(const std::string& text, const std::string& defaultTime);

#pragma once

#include <string>
#include <vector>

class TUpdates2dau;

/// What kind of release a list is checked for: a network update reads its home URL from the ghost's
/// descript.txt; an archive is installed by what its install.txt says.
enum class ReleaseKind { NetworkUpdate, Archive };

/// The value of the first "key,value" line of a ghost text file (descript.txt, install.txt) whose key
/// equals `key` without regard to case, blanks around key and value removed, as UTF-8 (the file is read as
/// CP932 unless a "charset,UTF-8" line or a UTF-8 BOM says otherwise). False when the file cannot be read
/// or has no such line.
bool ReadGhostTextValue(const std::string& path, const std::string& key, std::string& value);

/// The home URL of the ghost in `baseFolder` (ghost\master\descript.txt's "homeurl"), or empty.
std::string GhostHomeUrl(const std::string& baseFolder);

/// Looks at a built list the way the users' side will receive it and returns one line per finding, each
/// naming the file and what to change: delete.txt lines that delete a distributed file once the baseware
/// has turned '\' into '/', lowered the case and dropped the surrounding blanks (lines the exact delete.txt
/// check reports are left to it); two files whose names differ only in case; files no user should receive
/// (save data, logs, the system's thumbnails, backups); for a network update a home URL that is missing or
/// does not end in '/'; for an archive of a package (one with a descript.txt) an install.txt that is missing
/// or lacks "type" or "directory". Throws EFileError when a selected delete.txt cannot be read.
std::vector<std::string> CheckRelease(const TUpdates2dau& list, ReleaseKind kind);

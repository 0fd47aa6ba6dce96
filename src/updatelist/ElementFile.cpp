#include "ElementFile.h"

#include "MD5.h"
#include "RemoteList.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Paths.h"

void TElementFile::SetFile(const std::string& fullPath) {
    SetFile(fullPath, MD5File(fullPath));
}

void TElementFile::SetFile(const std::string& fullPath, std::string digest) {
    FullPath = fullPath;
    Digest = std::move(digest);
    RelativePath = RemoveFirst(FullPath, BaseFolder);
    FileName = ReplaceChar(RelativePath, '\\', '/');
    if (!TryUtf8ToCp932(FileName, FileNameCp932))
        FileNameCp932.clear();
}

std::string TElementFile::GetLine() const {
    return FileNameCp932 + '\x01' + Digest + '\x01';
}

void TElementFile::SetLine(const std::string& line) {
    std::string_view name, digest;
    if (!SplitUpdateLine(line, name, digest))
        throw EQuillon("updates2.dau に読めない行があります：「" +
                       Cp932ToUtf8(ReplaceChar(line, '\x01', '|')) + "」");
    FileNameCp932 = name;
    FileName = Cp932ToUtf8(FileNameCp932);
    Digest = digest;
}

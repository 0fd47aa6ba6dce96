#include "ElementFile.h"

#include "MD5.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"

void TElementFile::SetFile(const std::string& fullPath) {
    FullPath = fullPath;
    Digest = MD5File(FullPath);
    size_t at = BaseFolder.empty() ? std::string::npos : FullPath.find(BaseFolder);
    RelativePath =
        at == std::string::npos ? FullPath : FullPath.substr(0, at) + FullPath.substr(at + BaseFolder.size());
    FileName = ReplaceChar(RelativePath, '\\', '/');
}

std::string TElementFile::GetLine() const {
    return FileName + '\x01' + Digest + '\x01';
}

void TElementFile::SetLine(const std::string& line) {
    std::vector<std::string> pieces = SplitLines(ReplaceChar(line, '\x01', '\n'));
    if (pieces.size() < 2)
        throw EQuillon("Bad line in updates2.dau: \"" + ReplaceChar(line, '\x01', '|') + "\"");
    FileName = pieces[0];
    Digest = pieces[1];
}

#include "ElementFile.h"

#include "MD5.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"

void TElementFile::SetFile(const std::string& fullPath) {
    FullPath = fullPath;
    Digest = MD5File(FullPath);
    RelativePath = RemoveFirst(FullPath, BaseFolder);
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

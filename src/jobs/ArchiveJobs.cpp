// The archive jobs. Packing and uploading the archive are not built yet: for now both kinds build and
// log the file list, and report its result.
#include "Settings.h"

#include "updatelist/Updates2dau.h"

bool TSettings::RunUpload() {
    TUpdates2dau list;
    return MakeFileList(list);
}

bool TSettings::RunNarCreate() {
    TUpdates2dau list;
    return MakeFileList(list);
}

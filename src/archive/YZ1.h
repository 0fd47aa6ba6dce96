#pragma once

#include "FormatArchiver.h"

/// The YZ1 archiver (".yz1"): library "YYZ32.DLL", else "YZ1.DLL". It makes self-extractors itself.
class TYZ1 : public TFormatArchiver {
public:
    TYZ1() : TFormatArchiver(atYz1, Operations) {}

    /// Loads "YYZ32.DLL", else "YZ1.DLL"; throws EArchiver
    /// "Yz1 形式書庫を扱うには YYZ32.DLL か YZ1.DLL が必要です。" when neither loads.
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll& GetDll() override;
    /// Writes a stub from the search path followed by the archive as the archive's name with ".exe", in the
    /// folder when one is given; the library is not called. With gw > 0 the Win32 stub "yzw32cui.sfx" or
    /// "yzdec.exe", otherwise the DOS stub "yzdos16.sfx"; a missing stub throws EArchiver.
    void MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                    const std::string& folder, const PackItems& names, bool useResFile,
                    std::string& commandLine) override;
    /// The file exists and passes the open probe; false on any failure.
    static bool ContentProbe(const std::string& path);

private:
    static constexpr TOperationTable Operations{{
        {"x", rfCaller}, // extract
        {"c", rfCaller}, // pack
        {nullptr, 0},    // delete
        {nullptr, 0},    // update
        {nullptr, 0},    // self-extractor: made without the library
        {nullptr, 0},    // memory extraction
    }};
};

#pragma once

#include "Archiver.h"
#include "ZipDll.h"

/// The ZIP archiver (".zip", ".jar", ".ear", ".war").
class TZip32 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll& GetDll() override { return Dll(); }
    /// The process-wide ZIP binding (created on first use).
    static TZipDll& Dll();

    void MakeExtractCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                        const std::string& folder, const PackItems& names, bool useResFile,
                        std::string& commandLine) override;
    void MakePackCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                     const std::string& folder, const PackItems& names, bool useResFile,
                     std::string& commandLine) override;
    void MakeRemoveCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                       const std::string& folder, const PackItems& names, bool useResFile,
                       std::string& commandLine) override;
    void MakeUpdateCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                       const std::string& folder, const PackItems& names, bool useResFile,
                       std::string& commandLine) override;
    void MakeSfxCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                    const std::string& folder, const PackItems& names, bool useResFile,
                    std::string& commandLine) override;
    void MakeExtractMemCmd(void* window, const std::string& archive, const TArchiverOptions& options,
                           const std::string& folder, const PackItems& names, bool useResFile,
                           std::string& commandLine) override;

    /// The member-name escape of the ZIP command language: a leading "-" becomes "[-]" and a leading "@"
    /// "[@]", then every '\' becomes '/' and every '[' becomes "[[]".
    static std::string EscapeName(const std::string& name);
    /// Whether the file looks like a zip archive to the ZIP libraries; never throws.
    static bool ContentProbe(const std::string& path);

private:
    // The ZIP32J create-family command: switches, archive, optional folder, names.
    std::string zip32jCommand(const std::string& archive, const TArchiverOptions& options,
                              const std::string& folder, const PackItems& names, bool useResFile);
};

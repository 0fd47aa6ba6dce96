#pragma once

#include "Archiver.h"

#include <array>
#include <initializer_list>

// The formats other than ZIP. The program packs none of them; they are reached when a name's extension
// or a probe selects them, and each needs its own library.

/// The operations served by the command builders, in the order of the builders.
enum TArchiverOperation { aoExtract, aoPack, aoRemove, aoUpdate, aoSfx, aoExtractMem };

/// Response-file rules of an operation besides a TResFileUsage flag of the options.
inline constexpr int rfNever = 0;   ///< never through a response file
inline constexpr int rfCaller = -1; ///< as the caller's flag says

/// One operation of a format: its leading command word ("" for none, nullptr when the format does not
/// offer it) and whether its member list goes through the response file (a TResFileUsage flag or a rule).
struct TFormatOperation {
    const char* Word;
    int ResFile;
};
using TOperationTable = std::array<TFormatOperation, 6>;

/// A format whose commands are a leading word, the format's switches, UserOptions, the archive (and
/// folder) and the member names; the table says which operations the format offers.
class TFormatArchiver : public TArchiver {
public:
    TFormatArchiver(TArchiverType type, const TOperationTable& table) : type_(type), table_(table) {}

    /// Loads the type's library; throws ENoArchiverDLL "<description> を扱うには <file> が 必要です。".
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll& GetDll() override;
    /// The process-wide binding of the type's library (the tar family shares one).
    static TArchiverDll& Dll(TArchiverType type);

    /// An operation the table does not offer raises the base message of that builder.
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
    /// Without a leading word for the self-extractor the format writes the executable itself
    /// (MakeSfxCmd) and returns 0 without calling the library.
    int MakeSfx(void* window, const std::string& archive, const TArchiverOptions& options,
                const std::string& folder, const PackItems& names, bool useResFile, std::string& commandLine,
                std::string& output) override;

protected:
    /// The switches after the leading word, before UserOptions.
    virtual void AddSwitches(TArchiverOperation, TCmdOpt&, const TArchiverOptions&) {}
    /// The archive and, except for deletion and memory extraction, the folder.
    virtual void AddArchive(TArchiverOperation op, TCmdOpt& builder, const std::string& archive,
                            const std::string& folder);
    virtual std::string LeadingWord(TArchiverOperation op, const TArchiverOptions&) const {
        return table_[op].Word;
    }
    /// A self-extractor stub on the search path: the first of `candidates` found, or empty.
    static std::string FindStub(std::initializer_list<const char*> candidates);

private:
    void build(TArchiverOperation op, void* window, const std::string& archive,
               const TArchiverOptions& options, const std::string& folder, const PackItems& names,
               bool useResFile, std::string& commandLine);

    TArchiverType type_;
    const TOperationTable& table_;
};

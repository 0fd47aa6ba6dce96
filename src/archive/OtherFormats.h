#pragma once

#include "Archiver.h"

// The formats other than ZIP. The program packs none of them; they are reached when a name's extension
// or a probe selects them, and each needs its own library. Their command languages beyond the base
// operations are not built here.

/// An archiver whose format lives in one library.
class TSingleDllArchiver : public TArchiver {
public:
    explicit TSingleDllArchiver(TArchiverType type) : type_(type) {}
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll& GetDll() override;
    /// The process-wide binding of the type's library.
    static TArchiverDll& Dll(TArchiverType type);

private:
    TArchiverType type_;
};

class TLha32 : public TSingleDllArchiver {
public:
    TLha32() : TSingleDllArchiver(atLha) {}
};
class TArj32 : public TSingleDllArchiver {
public:
    TArj32() : TSingleDllArchiver(atArj) {}
};
class TCab32 : public TSingleDllArchiver {
public:
    TCab32() : TSingleDllArchiver(atCab) {}
};
class TTar32 : public TSingleDllArchiver {
public:
    TTar32() : TSingleDllArchiver(atTar) {}

protected:
    explicit TTar32(TArchiverType type) : TSingleDllArchiver(type) {}
};
class TTgz32 : public TTar32 {
public:
    TTgz32() : TTar32(atTgz) {}
};
class TBZ232 : public TTar32 {
public:
    TBZ232() : TTar32(atBZ2) {}
};
class TRar32 : public TSingleDllArchiver {
public:
    TRar32() : TSingleDllArchiver(atRar) {}
};
class TBGA32 : public TSingleDllArchiver {
public:
    TBGA32() : TSingleDllArchiver(atBga) {}
};
class TSevenZip32 : public TSingleDllArchiver {
public:
    TSevenZip32() : TSingleDllArchiver(at7z) {}
};

/// YZ1 takes "YYZ32.DLL", else "YZ1.DLL".
class TYZ1 : public TArchiver {
public:
    void LoadDLL() override;
    void FreeDLL() override;
    TCustomArchiverDll& GetDll() override;
};

/// The content probes of the formats other than ZIP; each answers no on any failure.
bool LhaProbe(const std::string& path);
bool ArjProbe(const std::string& path);
bool CabProbe(const std::string& path);
bool RarProbe(const std::string& path);
bool BgaProbe(const std::string& path);
bool Yz1Probe(const std::string& path);
/// The TAR library's archive type of the file (1 tar, 2-5 tgz, 6-7 bz2), or 0 on any failure.
int TarArchiveType(const std::string& path);

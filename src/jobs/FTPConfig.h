#pragma once

#include <string>

class IniFile;

/// FTP settings: the common ones (owned by the main window) or a job's own.
class TFTPConfig {
public:
    std::string Server;
    std::string ID;
    std::string Password;        ///< stored password, saved as typed
    std::string EnteredPassword; ///< password for the rest of this run of the program; never saved
    bool Passive = false;
    bool SSL = false;
    /// How many connections uploads may use at once ("Connections"; 1 is one connection).
    int Connections = 4;
    /// With SSL: explicit TLS (AUTH TLS on a plain connection) instead of TLS from the first byte.
    bool ExplicitTLS = false;
    /// The certificate the user chose to trust for this server ("SHA256:" and 64 hex digits), or empty.
    std::string CertFingerprint;

    /// The keys beyond server, account, password and the two flags, read from and written to a section
    /// of a settings file where those stand ("FTP" or a job section). Older files lack them: defaults.
    void ReadConnectionKeys(const IniFile& ini, const std::string& section);
    void WriteConnectionKeys(IniFile& ini, const std::string& section) const;
    /// Takes those same settings from `other`.
    void CopyConnectionSettings(const TFTPConfig& other);

    /// Sets both the stored password and the password for this run.
    void SetPassword(const std::string& value) {
        Password = value;
        EnteredPassword = value;
    }
    /// The password to log in with: the stored one, else the one entered during this run, else the user
    /// is asked (cancelling gives the empty password and the next call asks again).
    std::string GetPassword();
    /// The stored password alone (what gets saved).
    const std::string& GetStoredPassword() const { return Password; }
};

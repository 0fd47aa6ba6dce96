#pragma once

#include <string>

/// FTP settings: the common ones (owned by the main window) or a job's own.
class TFTPConfig {
public:
    std::string Server;
    std::string ID;
    std::string Password;        ///< stored password, saved as typed
    std::string EnteredPassword; ///< password for the rest of this run of the program; never saved
    bool Passive = false;
    bool SSL = false;

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

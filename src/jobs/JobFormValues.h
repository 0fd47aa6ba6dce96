#pragma once

#include <cstdint>
#include <string>

class TFTPConfig;
class TSettings;

/// What the job editor shows of a job, without any window: filled from a job, and applied to one. The
/// editor only copies between its controls and these values.
struct TJobFormValues {
    uint8_t Kind = 0;
    std::string Name;
    bool DefaultCheck = true;
    std::string TargetFolder; ///< shown with its trailing delimiter
    std::string Directory;
    bool HomeUrlCheck = true;
    std::string HTML;
    std::string NarName;
    std::string Server, ID, Password; ///< the stored password (empty: asked at run time)
    bool Passive = false;
    bool SSL = false;
    bool ExplicitTLS = false;
    bool UseCommon = false;
    std::string ProcessName, ExcludeName; ///< one line each, CR LF
    bool MakeCommon = false;              ///< the server settings become the common ones

    /// The values of `job`, with the server settings it connects with (the common ones for UseCommon).
    static TJobFormValues Of(const TSettings& job);
    /// Sets `job` to these values. The server settings go to `common` when MakeCommon, else to the job's
    /// own; the settings the editor does not show (connections, the trusted certificate) stay, except that
    /// a trusted certificate is forgotten when the server changes: it vouched for another one.
    void ApplyTo(TSettings& job, TFTPConfig& common) const;
};

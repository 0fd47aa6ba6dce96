#include "Settings.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"

namespace {

std::string programFolder() {
    return ExtractFilePath(ExecutablePath());
}

std::string readPatternList(const IniFile& ini, const std::string& section, const char* key) {
    // Quotes belong to the comma text here, so the raw value is decoded.
    return JoinLines(FromCommaText(ini.ReadRawString(section, key, "")));
}

} // namespace

const char* TSettings::KindName(uint8_t kind) {
    if (kind == Network)
        return "Network";
    if (kind == Upload)
        return "Upload";
    return "NarCreate";
}

uint8_t TSettings::KindFromName(const std::string& name) {
    if (name == "Network")
        return Network;
    if (name == "Upload")
        return Upload;
    return NarCreate;
}

void TSettings::load(const IniFile& ini, const std::string& section, bool jobSection) {
    Name = ini.ReadString(section, "Name", "");
    Kind = KindFromName(ini.ReadString(section, "Setting", "Network"));
    OwnFTP = std::make_unique<TFTPConfig>();
    OwnFTP->Server = ini.ReadString(section, "Server", "");
    OwnFTP->ID = ini.ReadString(section, "ID", "");
    OwnFTP->Passive = ini.ReadBool(section, "Passive", false);
    OwnFTP->SSL = ini.ReadBool(section, "SSL", false);
    OwnFTP->SetPassword(ini.ReadString(section, "Password", ""));
    OwnFTP->ReadConnectionKeys(ini, section);
    Directory = ini.ReadString(section, "Directory", "");
    HTML = ini.ReadString(section, "HTML", "");
    TargetFolder = ini.ReadString(section, "TargetFolder", programFolder());
    NarName = ini.ReadString(section, "NarName", "");
    // Only job sections of the main file complete a bare archive name with the base folder.
    if (jobSection && ExtractFilePath(NarName).empty())
        NarName = TargetFolder + NarName;
    UseCommon = ini.ReadBool(section, "UseCommon", false);
    DefaultCheck = ini.ReadBool(section, "DefaultCheck", true);
    ProcessName = readPatternList(ini, section, "ProcessName");
    ExcludeName = readPatternList(ini, section, "ExcludeName");
    HomeUrlCheck = ini.ReadBool(section, "HomeUrlCheck", true);
}

void TSettings::LoadFromSection(const IniFile& ini, const std::string& section) {
    load(ini, section, true);
}

void TSettings::LoadFromFile(const std::string& path) {
    load(IniFile(path), "General", false);
}

void TSettings::SaveToSection(IniFile& ini, const std::string& section) const {
    ini.WriteString(section, "Name", Name);
    ini.WriteString(section, "Setting", KindName(Kind));
    ini.WriteString(section, "Server", OwnFTP->Server);
    ini.WriteString(section, "ID", OwnFTP->ID);
    ini.WriteBool(section, "Passive", OwnFTP->Passive);
    ini.WriteBool(section, "SSL", OwnFTP->SSL);
    ini.WriteString(section, "Password", OwnFTP->GetStoredPassword());
    ini.WriteString(section, "Directory", Directory);
    ini.WriteString(section, "HTML", HTML);
    ini.WriteString(section, "NarName", NarName);
    ini.WriteBool(section, "UseCommon", UseCommon);
    ini.WriteString(section, "TargetFolder", TargetFolder);
    ini.WriteBool(section, "DefaultCheck", DefaultCheck);
    // Comma text carries its own quotes.
    ini.WriteRawString(section, "ProcessName", ToCommaText(SplitLines(ProcessName)));
    ini.WriteRawString(section, "ExcludeName", ToCommaText(SplitLines(ExcludeName)));
    OwnFTP->WriteConnectionKeys(ini, section);
    ini.WriteBool(section, "HomeUrlCheck", HomeUrlCheck);
}

std::string TSettings::BaseFolder() const {
    return IncludeTrailingPathDelimiter(TargetFolder);
}

void TSettings::CopyFrom(const TSettings& source) {
    Kind = source.Kind;
    Name = source.Name;
    Directory = source.Directory;
    TargetFolder = source.BaseFolder();
    UseCommon = source.UseCommon;
    HTML = source.HTML;
    NarName = source.NarName;
    ProcessName = source.ProcessName;
    ExcludeName = source.ExcludeName;
    DefaultCheck = source.DefaultCheck;
    HomeUrlCheck = source.HomeUrlCheck;
    OwnFTP = std::make_unique<TFTPConfig>();
    if (source.OwnFTP) {
        OwnFTP->Server = source.OwnFTP->Server;
        OwnFTP->ID = source.OwnFTP->ID;
        OwnFTP->Passive = source.OwnFTP->Passive;
        OwnFTP->SSL = source.OwnFTP->SSL;
        OwnFTP->SetPassword(source.OwnFTP->GetStoredPassword());
        OwnFTP->CopyConnectionSettings(*source.OwnFTP);
    }
}

#include "CliOptions.h"

#include "UnattendedPrompts.h"

const char* const CliUsage =
    "使い方: quillon-cli [--settings FILE] [--dry-run] [--yes] [--trust FINGERPRINT] [JOB...]";

namespace {

// The value of an option that takes one: after '=' in the same argument, or the next argument.
std::string valueOf(const std::string& option, const std::string* inline_,
                    const std::vector<std::string>& args, size_t& i, const std::string& what) {
    if (inline_)
        return *inline_;
    if (i + 1 >= args.size())
        throw EUsage(option + " には" + what + "を続けてください。");
    return args[++i];
}

} // namespace

CliOptions ParseCliArguments(const std::vector<std::string>& args) {
    CliOptions options;
    bool settingsGiven = false, trustGiven = false, onlyNames = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyNames || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Jobs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyNames = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        const std::string* inline_ = nullptr;
        if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inline_ = &value;
        }
        const bool flag = !inline_;
        if (name == "--help" || name == "-h") {
            if (!flag)
                throw EUsage(name + " は値を取りません。");
            options.Help = true;
        } else if (name == "--dry-run" || name == "--yes") {
            if (!flag)
                throw EUsage(name + " は値を取りません。");
            (name == "--yes" ? options.Yes : options.DryRun) = true;
        } else if (name == "--settings") {
            if (settingsGiven)
                throw EUsage("--settings が2回指定されています。");
            settingsGiven = true;
            options.SettingsPath = valueOf(name, inline_, args, i, "設定ファイル");
            if (options.SettingsPath.empty())
                throw EUsage("--settings には設定ファイルを続けてください。");
        } else if (name == "--trust") {
            if (trustGiven)
                throw EUsage("--trust で信頼できる証明書は1つだけです。");
            trustGiven = true;
            std::string given = valueOf(name, inline_, args, i, "証明書のフィンガープリント");
            std::optional<std::string> fingerprint = NormalizeFingerprint(given);
            if (!fingerprint)
                throw EUsage("--trust の値 " + given +
                             " は SHA-256 フィンガープリント（SHA256: と16進数64桁）ではありません。");
            options.TrustedFingerprint = *fingerprint;
        } else if (name == "--password") {
            // Another user of the machine can read a command line; an environment variable they cannot.
            throw EUsage(
                "パスワードはコマンドラインでは渡せません。環境変数 QUILLON_PASSWORD で渡してください。");
        } else {
            throw EUsage("不明なオプション " + name + " です。" + CliUsage);
        }
    }
    return options;
}

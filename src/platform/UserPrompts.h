#pragma once

#include "Errors.h"

#include <string>

// How the core talks to the user without knowing the window system: the GUI puts an implementation with
// real dialogs into its run context, tests one with scripted answers.
class UserPrompts {
public:
    enum class Icon { Information, Warning, Error };

    virtual ~UserPrompts() = default;

    /// A modal Yes/No question ("はい(&Y)", "いいえ(&N)"); true for Yes. With `defaultNo`, Enter answers No.
    virtual bool AskYesNo(const std::string& title, const std::string& text, Icon icon, bool defaultNo) = 0;
    /// A modal input box; returns the typed text, or the empty text when the user cancels. With `masked`
    /// the typed characters are not shown (passwords).
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& initial, bool masked) = 0;
    /// A modal error box with an OK button, titled with the application title.
    virtual void ErrorBox(const std::string& text) = 0;
    /// A modal error box with the buttons "再試行(&R)" and "キャンセル", titled with the application title;
    /// true for Retry. Unless an implementation offers the choice, the text is shown as an error box and
    /// the answer is Cancel.
    virtual bool AskRetryCancel(const std::string& text);
    /// Lets the window system process its pending messages once.
    virtual void ProcessMessages() = 0;

    // The questions a job asks, each through a hook of its own, so that an answerer without a person (the
    // command-line runner) knows which one it is without reading its text. By default each is the Yes/No
    // question or input box above, with the texts given.

    /// Go on although the release check or the delete.txt check found something? (No is the default.)
    virtual bool ConfirmFindings(const std::string& title, const std::string& text);
    /// Trust the certificate with this fingerprint, which the system does not vouch for, for `server`?
    /// (No is the default.)
    virtual bool TrustCertificate(const std::string& title, const std::string& text,
                                  const std::string& server, const std::string& fingerprint);
    /// The password for `server`, which no setting holds (masked input); empty when the user cancels.
    virtual std::string AskPassword(const std::string& caption, const std::string& prompt,
                                    const std::string& server);
};

/// What prompts that have no one to ask throw from AskPassword: the job fails with this message rather
/// than log in with an empty password.
class EPasswordUnavailable : public EQuillon {
public:
    using EQuillon::EQuillon;
};

/// The current run context's prompts (RunControl.h). Without a context of the program's, questions are
/// answered No (Retry/Cancel with Cancel), input boxes are cancelled, error boxes go to standard error and
/// messages are not pumped.
UserPrompts& Prompts();

/// The text an error box shows for an error message: "." is appended when the last character sorts
/// after ".".
std::string ErrorBoxText(const std::string& message);

#pragma once

#include "jobs/JobFormValues.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

/// The job editor: a modal dialog showing every setting of one job. The kind chosen enables the fields the
/// kind uses and adjusts the include list. Nothing the user types is checked or corrected.
class TCreateForm : public QDialog {
public:
    explicit TCreateForm(QWidget* owner = nullptr);

    QLabel* NameLabel;
    QLineEdit* NameEdit;
    QCheckBox* DefaultCheckBox;
    QRadioButton* NetworkRadio;
    QRadioButton* NarUpRadio;
    QRadioButton* NarCreateRadio;
    QLabel* TargetFolderLabel;
    QLineEdit* TargetFolderEdit;
    QPushButton* TargetFolderLocateButton;
    QLabel* UpDirLabel;
    QLineEdit* UpDirEdit;
    /// "公開後にホームURLで確認する(&K)": a network update checks its release at the ghost's home URL.
    QCheckBox* HomeUrlCheckBox;
    QLabel* HTMLLabel;
    QLineEdit* HTMLEdit;
    QPushButton* HTMLLocateButton;
    QLabel* NarNameLabel;
    QLineEdit* NarNameEdit;
    QPushButton* NarLocateButton;
    QGroupBox* GroupBox2;
    QLabel* ServerLabel;
    QLineEdit* ServerEdit;
    QLabel* IDLabel;
    QLineEdit* IDEdit;
    QLabel* PasswordLabel;
    QLineEdit* PasswordEdit;
    QCheckBox* PassiveCheck;
    QCheckBox* SSLCheck;
    /// "明示的TLS(AUTH TLS)(&E)": explicit FTPS; enabled only while SSL is ticked and the server fields are.
    QCheckBox* ExplicitTLSCheck;
    QCheckBox* UseDefaultFTPCheck;
    QPushButton* SetDefaultButton;
    QGroupBox* GroupBox1;
    QLabel* ProcessNameLabel;
    QPlainTextEdit* ProcessNameMemo;
    QLabel* EscapeNameLabel;
    QPlainTextEdit* EscapeNameMemo;
    QPushButton* CancelButton;
    QPushButton* OKButton;

    /// Set by the make-common button: on OK the server values become the common settings.
    bool MakeCommon = false;

    /// How a folder is chosen: the dialog's owner, title and the folder it opens at (empty: the system's
    /// choice) in, the chosen folder out (empty when the user cancels). The system's folder dialog unless a
    /// test answers in its place.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> ChooseFolder;
    /// How a file is chosen for opening: owner, filter ("description|mask;mask") and the file it opens at
    /// (its folder, with its name filled in) in, the path out (empty on cancel). The name of a file that
    /// does not exist yet is accepted.
    std::function<QString(QWidget* owner, const QString& filter, const QString& start)> ChooseFile;

    /// After one of the three kinds became selected: adjusts the include list and enables the fields.
    void NetworkRadioClick();
    /// Explicit TLS is a way of SSL: its box follows the SSL box.
    void SSLCheckClick();
    void TargetFolderLocateButtonClick();
    void HTMLLocateButtonClick();
    void NarLocateButtonClick();
    void SetDefaultButtonClick();

    /// What the controls hold, and the controls set to the values (the kind first: selecting it adjusts the
    /// include list, which the values' list then replaces).
    TJobFormValues Values() const;
    void SetValues(const TJobFormValues& values);

    /// A list's lines as a job holds them: each line followed by CR LF. Every line break the user made
    /// counts, an empty last line included; an empty list has no line.
    static std::string ListText(const QPlainTextEdit* memo);
    /// Shows a job's lines (CR LF, CR or LF ends a line) in a list.
    static void SetListText(QPlainTextEdit* memo, const std::string& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildWindow();
};

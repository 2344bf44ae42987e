#pragma once
// The window's front end: standard Qt message boxes and file dialogs in place
// of the ones the program was written against, and the host's opener for
// documents and web addresses.

#include <QFont>
#include <QStringList>

#include <functional>
#include <string>

#include "app/Dialogs.h"

class QWidget;

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    // Where status texts go (the main window's status panel).
    void SetStatusSink(std::function<void(const std::string&, bool)> sink) { statusSink_ = std::move(sink); }

    void PumpMessages() override;
    void ShowStatus(const std::string& text, bool bold) override;
    void ErrorBox(const std::string& message) override;
    void InfoBox(const std::string& message) override;
    bool Confirm(const std::string& question) override;
    char AskOverwrite(const std::string& question) override;
    std::vector<std::string> OpenFiles(const std::string& title, std::string& folder, const std::string& filter,
                                       int32_t filterIndex) override;
    void SaveAs(const std::string& title, std::string& folder, const std::string& proposed, std::string& result,
                int32_t filterIndex, const std::string& filter) override;
    bool OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder) override;
    bool RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder) override;

private:
    QWidget* Owner() const;

    QWidget* parent_;
    std::function<void(const std::string&, bool)> statusSink_;
};

// "desc|*.a;*.b|desc2|*.c" as Qt name filters ("desc (*.a *.b)").
QStringList QtNameFilters(const std::string& filter);

class QDialog;

// Shown when the Run-key entry of the companion program cannot be written.
inline constexpr const char* RunEntryFailedText = "Failed to set data for 'bootpix.exe'";

// Runs an event handler to its end: a failure inside a command is swallowed
// here rather than leaving through Qt's frames.
template <class F>
void Handled(F&& handler)
{
    try {
        handler();
    } catch (...) {
    }
}

// The forms' font: "MS Sans Serif" at 11 pixels, or a face of the same
// build where the host lacks it.
QFont FormFont();

// Places a form in the middle of the screen it will appear on.
void CentreOnScreen(QWidget& form);

// Every modal form of the program is shown through this one call.
int ExecDialog(QDialog& dialog);

// The application title the message boxes are captioned from: "Lumenade"
// until the main window sets its own caption.
std::string ApplicationTitle();

// Qt text of a program string and back; line breaks are CR LF in the
// program and LF in Qt's text controls.
QString QtText(const std::string& s);
std::string ProgramText(const QString& s);
QString QtLines(const std::string& crlfText);
std::string ProgramLines(const QString& text);

#pragma once
// The logo manager's front end on a terminal: error boxes go to standard
// error, status lines to standard output (unless quiet), and questions are
// asked only when standard input is a terminal.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/Dialogs.h"

// What the add command does with a warehouse name that is taken.
enum class OverwritePolicy {
    Ask,        // ask on a terminal, skip elsewhere
    Overwrite,  // --overwrite
    Skip,       // --skip
};

class CliDialogs : public Dialogs {
public:
    CliDialogs(std::istream& in, std::ostream& out, std::ostream& err, bool quiet, bool interactive);

    OverwritePolicy Policy = OverwritePolicy::Ask;

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
    // One line from the terminal; false at its end.
    bool ReadLine(std::string& line);

    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool quiet_;
    bool interactive_;
};

#pragma once
// A test front end that plays back answers queued in advance and records
// every call.

#include <deque>
#include <string>
#include <vector>

#include "app/Dialogs.h"

class ScriptedDialogs : public Dialogs {
public:
    // Queued answers; an empty queue answers No, Cancel or "cancelled".
    std::deque<bool> ConfirmAnswers;
    std::deque<char> OverwriteAnswers;
    std::deque<std::vector<std::string>> OpenFilesAnswers;
    std::deque<std::string> SaveAsAnswers;  // "" cancels
    bool DocumentResult = true;
    bool RunResult = true;

    // Every call in order, as "Operation: argument | argument".
    std::vector<std::string> Calls;
    // Texts of the error boxes and of the status line, for convenience.
    std::vector<std::string> Errors;
    std::vector<std::string> Statuses;

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

    // Number of recorded calls whose text starts with prefix.
    int Count(const std::string& prefix) const;
};

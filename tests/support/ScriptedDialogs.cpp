#include "ScriptedDialogs.h"

void ScriptedDialogs::PumpMessages()
{
    Calls.push_back("PumpMessages");
}

void ScriptedDialogs::ShowStatus(const std::string& text, bool bold)
{
    Calls.push_back(std::string(bold ? "ShowStatus(bold): " : "ShowStatus: ") + text);
    Statuses.push_back(text);
}

void ScriptedDialogs::ErrorBox(const std::string& message)
{
    Calls.push_back("ErrorBox: " + message);
    Errors.push_back(message);
}

void ScriptedDialogs::InfoBox(const std::string& message)
{
    Calls.push_back("InfoBox: " + message);
}

bool ScriptedDialogs::Confirm(const std::string& question)
{
    Calls.push_back("Confirm: " + question);
    if (ConfirmAnswers.empty()) return false;
    bool answer = ConfirmAnswers.front();
    ConfirmAnswers.pop_front();
    return answer;
}

char ScriptedDialogs::AskOverwrite(const std::string& question)
{
    Calls.push_back("AskOverwrite: " + question);
    if (OverwriteAnswers.empty()) return AnswerCancel;
    char answer = OverwriteAnswers.front();
    OverwriteAnswers.pop_front();
    if (answer != AnswerYes && answer != AnswerNo && answer != AnswerAll) answer = AnswerCancel;
    return answer;
}

std::vector<std::string> ScriptedDialogs::OpenFiles(const std::string& title, std::string& folder,
                                                    const std::string& filter, int32_t filterIndex)
{
    Calls.push_back("OpenFiles: " + title + " | " + folder + " | " + std::to_string(filterIndex));
    (void)filter;
    if (OpenFilesAnswers.empty()) return {};
    std::vector<std::string> files = OpenFilesAnswers.front();
    OpenFilesAnswers.pop_front();
    if (!files.empty()) folder = ExtractFilePath(files.front());
    return files;
}

void ScriptedDialogs::SaveAs(const std::string& title, std::string& folder, const std::string& proposed,
                             std::string& result, int32_t filterIndex, const std::string& filter)
{
    Calls.push_back("SaveAs: " + title + " | " + folder + " | " + proposed);
    result.clear();
    if (SaveAsAnswers.empty()) return;
    std::string chosen = SaveAsAnswers.front();
    SaveAsAnswers.pop_front();
    if (chosen.empty()) return;
    result = ApplyDefaultExtension(chosen, filter, filterIndex);
    folder = ExtractFilePath(result);
}

bool ScriptedDialogs::OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder)
{
    Calls.push_back("OpenDocument: " + file + " | " + parameters + " | " + folder);
    return DocumentResult;
}

bool ScriptedDialogs::RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder)
{
    Calls.push_back("RunAndWait: " + file + " | " + parameters + " | " + folder);
    return RunResult;
}

int ScriptedDialogs::Count(const std::string& prefix) const
{
    int n = 0;
    for (const std::string& c : Calls)
        if (c.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

#include "cli/CliDialogs.h"

#include <istream>
#include <ostream>

#include "app/Backup.h"
#include "cli/Cli.h"
#include "platform/Shell.h"

namespace {

char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

CliDialogs::CliDialogs(std::istream& in, std::ostream& out, std::ostream& err, bool quiet, bool interactive)
    : in_(in), out_(out), err_(err), quiet_(quiet), interactive_(interactive)
{
}

void CliDialogs::PumpMessages()
{
    out_.flush();
}

void CliDialogs::ShowStatus(const std::string& text, bool)
{
    if (quiet_) return;
    out_ << text << '\n';
    out_.flush();
}

void CliDialogs::ErrorBox(const std::string& message)
{
    err_ << message << '\n';
    err_.flush();
}

void CliDialogs::InfoBox(const std::string& message)
{
    ShowStatus(message, false);
}

bool CliDialogs::Confirm(const std::string& question)
{
    if (!interactive_) return false;
    err_ << question << " [y/N] ";
    err_.flush();
    std::string line;
    if (!ReadLine(line)) return false;
    line = TrimText(line);
    return !line.empty() && UpperAscii(line[0]) == 'Y';
}

char CliDialogs::AskOverwrite(const std::string& question)
{
    // The question names the file between its first pair of double quotes.
    const std::string name = QuotedItem(question, 1);
    switch (Policy) {
        case OverwritePolicy::Overwrite:
            return AnswerYes;
        case OverwritePolicy::Skip:
            ShowStatus("File \"" + name + "\" already exists: skipped.", false);
            return AnswerNo;
        case OverwritePolicy::Ask:
            break;
    }
    if (!interactive_) {
        ErrorBox("File \"" + name + "\" already exists: skipped (--overwrite replaces it).");
        return AnswerNo;
    }
    for (;;) {
        err_ << question << "\n[Y]es, [N]o, [A]ll, [C]ancel? ";
        err_.flush();
        std::string line;
        if (!ReadLine(line)) return AnswerCancel;
        line = TrimText(line);
        if (line.size() != 1) continue;
        const char answer = UpperAscii(line[0]);
        if (answer == AnswerYes || answer == AnswerNo || answer == AnswerAll || answer == AnswerCancel) return answer;
    }
}

std::vector<std::string> CliDialogs::OpenFiles(const std::string&, std::string&, const std::string&, int32_t)
{
    // Files come from the command line; there is nothing to choose from.
    return {};
}

void CliDialogs::SaveAs(const std::string& title, std::string& folder, const std::string& proposed, std::string& result,
                        int32_t filterIndex, const std::string& filter)
{
    result.clear();
    if (!interactive_ || Policy != OverwritePolicy::Ask) return;
    err_ << title << " instead of \"" << proposed << "\" (empty skips): ";
    err_.flush();
    std::string line;
    if (!ReadLine(line)) return;
    line = TrimText(line);
    if (line.empty()) return;
    // A bare name stays in the proposed folder; anything else is a path.
    const bool bare = line.find_first_of("\\/:") == std::string::npos;
    std::string chosen = bare ? folder + line : ArgumentPath(line);
    if (chosen.empty()) {
        ErrorBox("No drive holds \"" + line + "\": skipped.");
        return;
    }
    result = ApplyDefaultExtension(chosen, filter, filterIndex);
    folder = ExtractFilePath(result);
}

bool CliDialogs::OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder)
{
    return platform::OpenDocument(file, parameters, folder);
}

bool CliDialogs::RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder)
{
    return platform::RunAndWait(file, parameters, folder);
}

bool CliDialogs::ReadLine(std::string& line)
{
    line.clear();
    if (!std::getline(in_, line)) {
        err_ << '\n';
        return false;
    }
    return true;
}

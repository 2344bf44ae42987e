#pragma once
// What the logo manager asks of its front end: message boxes, the overwrite
// question, file dialogs, the status line and starting documents or programs.
// The window, the command line and the tests each give their own version;
// the app code only talks to CurrentDialogs().

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* AppTitle = "Lumenade";

// Answers of the four-way overwrite question.
inline constexpr char AnswerYes = 'Y';
inline constexpr char AnswerNo = 'N';
inline constexpr char AnswerAll = 'A';
inline constexpr char AnswerCancel = 'C';

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Lets a long loop keep the window painted.
    virtual void PumpMessages() = 0;
    // Status line of the main window; every update also pumps messages.
    virtual void ShowStatus(const std::string& text, bool bold) = 0;
    // Caption "Error from " + the application title, error icon, OK.
    virtual void ErrorBox(const std::string& message) = 0;
    // Information box captioned with the application title.
    virtual void InfoBox(const std::string& message) = 0;
    // True only for Yes; No is the default.
    virtual bool Confirm(const std::string& question) = 0;
    // AnswerYes, AnswerNo, AnswerAll or AnswerCancel (also for a closed box).
    virtual char AskOverwrite(const std::string& question) = 0;
    // Full names of the chosen files, empty when cancelled. On acceptance
    // folder becomes the folder of the first name, with its backslash.
    virtual std::vector<std::string> OpenFiles(const std::string& title, std::string& folder, const std::string& filter,
                                               int32_t filterIndex) = 0;
    // result is empty when cancelled; otherwise the chosen name passed through
    // ApplyDefaultExtension, and folder becomes its folder.
    virtual void SaveAs(const std::string& title, std::string& folder, const std::string& proposed, std::string& result,
                        int32_t filterIndex, const std::string& filter) = 0;
    virtual bool OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder) = 0;
    // Returns after the process ended; false when it could not be started.
    virtual bool RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder) = 0;

    bool Execute(const std::string& file, const std::string& parameters, const std::string& folder, bool wait)
    {
        return wait ? RunAndWait(file, parameters, folder) : OpenDocument(file, parameters, folder);
    }
};

// The front end in use; a silent one (every question answered No or
// Cancel, nothing shown) until SetDialogs installs another.
Dialogs& CurrentDialogs();
// Installs d (not owned); nullptr returns to the silent one.
void SetDialogs(Dialogs* d);

// Upper-case extension with its dot of the pattern of filter pair `index`
// (from 1) of a "description|pattern|..." string; empty for "*.*", for an
// index beyond the pairs and for a pattern without a dot.
std::string ExtensionOfFilter(const std::string& filter, int32_t index);
// name with the filter's extension added when it has none.
std::string ApplyDefaultExtension(const std::string& name, const std::string& filter, int32_t index);
// Extension of a path with its dot ("" when none), as the file name part holds it.
std::string ExtractFileExt(const std::string& path);
// File name without its folder.
std::string ExtractFileName(const std::string& path);
// Folder part with its trailing backslash ("" when none).
std::string ExtractFilePath(const std::string& path);
// Without leading and trailing blanks and control characters.
std::string TrimText(const std::string& s);
// path with its extension replaced (or added) by ext, which includes the dot.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

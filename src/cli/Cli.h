#pragma once
// The command line of lumenade-cli: global options, one subcommand a run,
// and the helpers the subcommands share.

#include <iosfwd>
#include <string>
#include <vector>

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

inline constexpr const char* CliName = "lumenade-cli";

class CliDialogs;

// What a subcommand gets: its own arguments and the front end's state.
struct CliRun {
    std::vector<std::string> Args;  // after the subcommand's name
    std::ostream& Out;
    std::ostream& Err;
    CliDialogs& Ui;
    bool Quiet = false;
};

// Parses the global options, sets up the drive table, the registry store
// and the random generator, loads the settings and runs the subcommand.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Prints "lumenade-cli COMMAND: message" and the pointer to --help; returns ExitUsage.
int UsageError(CliRun& run, const std::string& command, const std::string& message);

// The arguments of a subcommand split into options and operands; "--" ends
// the options. An option given as "--name=value" keeps its value; an option
// named in `valued` takes the next argument as its value otherwise.
struct ParsedArgs {
    struct Option {
        std::string Name;
        std::string Value;
        bool HasValue = false;
    };
    std::vector<Option> Options;
    std::vector<std::string> Operands;
};
ParsedArgs SplitArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued = {});

// A file named on the command line in Windows form: Windows paths ("C:\x",
// "\x") stay as they are, host paths (absolute or relative to the current
// folder) go through the drive table. Empty when no drive holds the file.
std::string ArgumentPath(const std::string& argument);

// The subcommands; each returns its exit status.
int CmdList(CliRun& run);
int CmdAdd(CliRun& run);
int CmdSet(CliRun& run);
int CmdShuffle(CliRun& run);
int CmdRestore(CliRun& run);
int CmdDelete(CliRun& run);
int CmdInfo(CliRun& run);
int CmdConvert(CliRun& run);
int CmdConfig(CliRun& run);
int CmdPaths(CliRun& run);
int CmdPreview(CliRun& run);

#pragma once
// Starting documents and programs, without a shell in between.

#include <string>

namespace platform {

// Opens a document or web address with the host's opener (xdg-open) and
// does not wait. Windows paths are mapped to the host; "http:\\host" is
// understood as "http://host", as the Windows shell did. Parameters are
// passed on as further arguments. True when the opener could be started and
// did not fail within a moment (xdg-open missing, or no program for the
// document, is false).
bool OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder);

// Runs a program with its parameters (split at blanks, no shell) in the
// given folder and waits for it to end. True when it could be started. The
// command line and the folder are cut to 512 characters.
bool RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder);

}  // namespace platform

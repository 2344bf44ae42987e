#pragma once
// Random warehouse images as all three logos at once, for the window and the
// command line alike.

#include <string>
#include <vector>

// Backs up every logo location first and replaces nothing when one backup
// fails; then sets a random warehouse image as logo 0, 1 and 2, each chosen
// on its own. True when all three were set; failures holds what went wrong.
bool ShuffleLogos(std::vector<std::string>* failures = nullptr);
// The Shuffle command: nothing when the list shows no images. Each failure
// goes to an error box; the done line shows only after success.
bool ShuffleCommand(int listItems);

inline constexpr const char* ShuffleBusyText = "Setting logos...";
inline constexpr const char* ShuffleDoneText = "Random startup, shutdown and turnoff logos are set.";

#pragma once
// Random warehouse images as all three logos at once.

// Sets a random warehouse image as logo 0, 1 and 2, each chosen on its own.
void ShuffleLogos();
// The Shuffle command: nothing when the list shows no images.
void ShuffleCommand(int listItems);

inline constexpr const char* ShuffleBusyText = "Setting logos...";
inline constexpr const char* ShuffleDoneText = "Random startup, shutdown and turnoff logos are set.";

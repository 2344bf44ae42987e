#pragma once
// "Set Logo": which of the three logos the selected warehouse image becomes.

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QRadioButton;

class TfrmSetLogo : public QDialog {
public:
    explicit TfrmSetLogo(QWidget* parent = nullptr);

    // The logo index of the chosen item: 0 start-up, 1 shut-down, 2 turn-off.
    int ChosenIndex() const;
    QRadioButton* Item(int index) const { return items_[index]; }
    // "Animated bar": only the start-up logo animates.
    QCheckBox* AnimateBox() const { return animate_; }
    // The bar's colour: the picture's own, a chosen one, or "Other colour...",
    // which asks for one.
    QComboBox* BarBox() const { return bar_; }
    // "RRGGBB", or empty for the picture's own colour.
    std::string BarColor() const;

private:
    void ShowBarColor(const std::string& rgb);
    void BarChosen(int index);

    QRadioButton* items_[3] = {};
    QCheckBox* animate_ = nullptr;
    QComboBox* bar_ = nullptr;
    int barIndex_ = 0;  // the item before "Other colour..." was picked
};

// The image the Set command chose, as a full path.
void SetLogoImagePath(const std::string& path);
// What an accepted dialog did, in the words of the status line.
struct SetLogoOutcome {
    bool Set = false;
    bool Written = false;
    int Index = 0;  // the logo chosen
    std::string Text;
};

// Shows the dialog and, when accepted, makes the chosen logo from the stored
// image; for the start-up logo the "Animated bar" box and the bar's colour
// become the settings.
// True when accepted, and true without showing anything when no image path is
// stored.
bool ShowSetLogo(QWidget* parent, SetLogoOutcome* outcome = nullptr);

#pragma once
// "Set Logo": which of the three logos the selected warehouse image becomes.

#include <QDialog>

#include <string>

class QCheckBox;
class QRadioButton;

class TfrmSetLogo : public QDialog {
public:
    explicit TfrmSetLogo(QWidget* parent = nullptr);

    // The logo index of the chosen item: 0 start-up, 1 shut-down, 2 turn-off.
    int ChosenIndex() const;
    QRadioButton* Item(int index) const { return items_[index]; }
    // "Animated bar": only the start-up logo animates.
    QCheckBox* AnimateBox() const { return animate_; }

private:
    QRadioButton* items_[3] = {};
    QCheckBox* animate_ = nullptr;
};

// The image the Set command chose, as a full path.
void SetLogoImagePath(const std::string& path);
// What an accepted dialog did, in the words of the status line.
struct SetLogoOutcome {
    bool Set = false;
    bool Written = false;
    std::string Text;
};

// Shows the dialog and, when accepted, makes the chosen logo from the stored
// image; for the start-up logo the "Animated bar" box becomes the setting.
// True when accepted, and true without showing anything when no image path is
// stored.
bool ShowSetLogo(QWidget* parent, SetLogoOutcome* outcome = nullptr);

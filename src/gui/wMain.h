#pragma once
// The main window: the command buttons, the warehouse list with check boxes,
// the preview with its text and link, and the status line.

#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class BootPreview;
class QLabel;
class QTimer;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class SurfaceWidget;
class QtDialogs;
namespace platform {
class DriveSession;
}

class TForm1 : public QWidget {
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The window operations the commands use.
    void InitCaptions();
    void RefreshList();
    void ShowStatus(const std::string& text, bool bold);
    void ShowTotals();
    void ShowPreview(const std::string& name);
    std::string SelectedName() const;
    void SelectByName(const std::string& name);
    void EnableButtons(bool enabled);
    int MarkedCount() const;
    void DeleteImages();
    void DeleteWarehouseFile(const std::string& path);
    bool Busy() const { return busy_; }
    // The boot-screen preview: a picture or logo file as the VGA screen
    // shows it, animated while its palette cycles.
    void ShowBootPreview(const std::string& path, bool asAnimatedLogo);
    bool PreviewAnimating() const;
    // One cycle step of an animated preview (the timer's tick).
    void StepPreview();

    // The controls, for tests and screenshots.
    QPushButton* Button(int tabIndex) const { return buttons_[tabIndex]; }
    QTreeWidget* List() const { return list_; }
    QLabel* Status() const { return status_; }
    QLabel* DriveLabel() const { return drive_; }
    QLabel* Link() const { return link_; }
    QPlainTextEdit* Memo() const { return memo_; }
    SurfaceWidget* Preview() const { return preview_; }

    // Event handlers of the table of events.
    void FormShow();
    void FormClose();
    void btnAddClick();
    void btnSetClick();
    void btnShuffleClick();
    void btnDelClick();
    void btnOptClick();
    void btnAboutClick();
    void btnExitClick();
    void ListView1Click();
    void ListView1KeyUp();
    void ListView1DblClick();
    void labLinkClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Places the controls for the window's size; at the minimum size they
    // stand where the fixed layout had them.
    void LayOut();
    // Drives in disk images: the window shows a snapshot read when the list
    // is read; each command that writes stages the image again and writes
    // back when it is done.
    void TakeSnapshot();
    void Writing(const std::function<void()>& command);

    QPushButton* buttons_[7] = {};  // btnAdd, btnSet, btnShuffle, btnDel, btnOpt, btnAbout, btnExit
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* drive_ = nullptr;
    std::unique_ptr<platform::DriveSession> snapshot_;
    bool writing_ = false;  // a command's session is open: it is the current view
    SurfaceWidget* preview_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QLabel* link_ = nullptr;
    QWidget* panel1_ = nullptr;
    QWidget* panel2_ = nullptr;
    QtDialogs* dialogs_ = nullptr;
    QSet<int> keysDown_;  // keys pressed while the list had the focus
    std::unique_ptr<BootPreview> bootPreview_;
    QTimer* cycleTimer_ = nullptr;
    int cycleStep_ = 0;
    void DrawBootFrame();
    bool busy_ = false;
    bool shown_ = false;
    bool closed_ = false;
    int previewWidth_ = 0;
    int previewHeight_ = 0;
};

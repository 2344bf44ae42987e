#pragma once
// The main window: the command buttons, the warehouse list with check boxes,
// the preview with its text and link, and the status line.

#include <QSet>
#include <QWidget>

#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class SurfaceWidget;
class QtDialogs;

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

    // The controls, for tests and screenshots.
    QPushButton* Button(int tabIndex) const { return buttons_[tabIndex]; }
    QTreeWidget* List() const { return list_; }
    QLabel* Status() const { return status_; }
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

    QPushButton* buttons_[7] = {};  // btnAdd, btnSet, btnShuffle, btnDel, btnOpt, btnAbout, btnExit
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    SurfaceWidget* preview_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QLabel* link_ = nullptr;
    QWidget* panel1_ = nullptr;
    QWidget* panel2_ = nullptr;
    QtDialogs* dialogs_ = nullptr;
    QSet<int> keysDown_;  // keys pressed while the list had the focus
    bool busy_ = false;
    bool shown_ = false;
    bool closed_ = false;
    int previewWidth_ = 0;
    int previewHeight_ = 0;
};

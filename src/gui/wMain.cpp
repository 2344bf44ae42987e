#include "gui/wMain.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <vector>

#include "app/BootPreview.h"
#include "app/BootScreen.h"
#include "app/Catalogue.h"
#include "app/Dialogs.h"
#include "app/DriveFiles.h"
#include "app/Import.h"
#include "app/Settings.h"
#include "app/Shuffle.h"
#include "app/WriteSession.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "gui/wDialogs.h"
#include "gui/wOptions.h"
#include "gui/wSetLogo.h"
#include "gui/wSurface.h"
#include "image/DisplayBridge.h"
#include "image/ImgBasic.h"
#include "platform/DriveSession.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace {

constexpr int ClientWidth = 531;
constexpr int ClientHeight = 304;
constexpr int ButtonWidth = 64;
constexpr int ButtonHeight = 24;
constexpr int StatusHeight = 23;
constexpr int SidePanelWidth = 207;
constexpr int PreviewWidth = 192;
constexpr int PreviewHeight = 160;
constexpr int SizeColumnWidth = 80;
// RefreshList gives the name column what the size column leaves.
constexpr int NameColumnMargin = 100;
constexpr int DriveLabelWidth = 170;

constexpr const char* WindowCaption = "Lumenade 1.20";
constexpr const char* MemoText =
    "Visit this site to download additional logos for free. Check out our other multimedia products.";

struct ButtonSpec {
    const char* Name;
    const char* Caption;
    const char* Hint;
    int X;
};
constexpr ButtonSpec ButtonSpecs[7] = {
    {"btnAdd", "Add", "Add new images", 1},
    {"btnSet", "Set", "Set selected image as logo", 65},
    {"btnShuffle", "Shuffle", "Set random logos", 129},
    {"btnDel", "Delete", "Delete marked image(s)", 193},
    {"btnOpt", "Options...", "Misc options", 257},
    {"btnAbout", "About...", "More information about this program", 402},
    {"btnExit", "Exit", "Exit the program", 466},
};

// Readme.txt stands beside the program in the build folder; an installed
// program finds it in share/doc/lumenade/ beside its bin/ folder.
std::string ReadmePath(const std::string& programFolder)
{
    const std::string beside = programFolder + "Readme.txt";
    if (programFolder.empty() || platform::FileExists(beside)) return beside;
    const std::string parent = ExtractFilePath(programFolder.substr(0, programFolder.size() - 1));
    const std::string installed = parent + "share\\doc\\lumenade\\Readme.txt";
    return platform::FileExists(installed) ? installed : beside;
}

// What the user can look for when a document or address could not be opened.
std::string OpenFailedText(const std::string& shown)
{
    return "Couldn't open \"" + shown +
           "\".\nLumenade opens documents and web addresses with xdg-open (package xdg-utils), "
           "which is missing or found no program for it.";
}

// Opens a document or address with the shell and says so, naming it as the
// user knows it, when that failed.
void OpenWithShell(const std::string& target, const std::string& shown)
{
    if (!CurrentDialogs().OpenDocument(target, "", "")) CurrentDialogs().ErrorBox(OpenFailedText(shown));
}

QFrame* MakePanel(QWidget* parent, const char* name, QFrame::Shadow shadow)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | shadow);
    return panel;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    setObjectName("Form1");
    setFont(FormFont());
    // The fixed layout is the smallest the window gets; larger, the list and
    // the preview take the room.
    setMinimumSize(ClientWidth, ClientHeight);
    resize(ClientWidth, ClientHeight);

    QFrame* panel1 = MakePanel(this, "Panel1", QFrame::Sunken);
    panel1_ = panel1;
    for (int i = 0; i < 7; ++i) {
        buttons_[i] = new QPushButton(ButtonSpecs[i].Caption, panel1);
        buttons_[i]->setObjectName(ButtonSpecs[i].Name);
        buttons_[i]->setToolTip(ButtonSpecs[i].Hint);
    }
    for (int i = 0; i + 1 < 7; ++i) setTabOrder(buttons_[i], buttons_[i + 1]);

    list_ = new QTreeWidget(this);
    list_->setObjectName("ListView1");
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Image Name", SizeColumnCaption});
    list_->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list_->header()->setSectionsClickable(false);
    list_->header()->setSectionsMovable(false);
    list_->header()->setStretchLastSection(false);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // The selection stays visible when the list does not have the focus.
    QPalette listPalette = list_->palette();
    listPalette.setColor(QPalette::Inactive, QPalette::Highlight,
                         listPalette.color(QPalette::Active, QPalette::Highlight));
    listPalette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         listPalette.color(QPalette::Active, QPalette::HighlightedText));
    list_->setPalette(listPalette);
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);

    QFrame* panel2 = MakePanel(this, "Panel2", QFrame::Sunken);
    panel2_ = panel2;
    preview_ = new SurfaceWidget(PreviewWidth, PreviewHeight, panel2);
    preview_->setObjectName("Image1");
    memo_ = new QPlainTextEdit(panel2);
    memo_->setObjectName("Memo1");
    memo_->setReadOnly(true);
    memo_->setFocusPolicy(Qt::NoFocus);
    memo_->setFrameStyle(QFrame::NoFrame);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo_->document()->setDocumentMargin(1);
    QPalette memoPalette = memo_->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::Button));
    memo_->setPalette(memoPalette);
    link_ = new QLabel(panel2);
    link_->setObjectName("labLink");
    link_->setAlignment(Qt::AlignCenter);
    link_->installEventFilter(this);

    status_ = new QLabel(this);
    status_->setObjectName("panStatus");
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Which drive C: is in use, at the right end of the status line.
    drive_ = new QLabel(status_);
    drive_->setObjectName("panDrive");
    drive_->setGeometry(ClientWidth - DriveLabelWidth - 2, 2, DriveLabelWidth, StatusHeight - 4);
    drive_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    drive_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    LayOut();
    cycleTimer_ = new QTimer(this);
    cycleTimer_->setInterval(CycleStepMs);
    connect(cycleTimer_, &QTimer::timeout, this, &TForm1::StepPreview);

    dialogs_ = new QtDialogs(this);
    dialogs_->SetStatusSink([this](const std::string& text, bool bold) { ShowStatus(text, bold); });
    SetDialogs(dialogs_);

    connect(buttons_[0], &QPushButton::clicked, this, &TForm1::btnAddClick);
    connect(buttons_[1], &QPushButton::clicked, this, &TForm1::btnSetClick);
    connect(buttons_[2], &QPushButton::clicked, this, &TForm1::btnShuffleClick);
    connect(buttons_[3], &QPushButton::clicked, this, &TForm1::btnDelClick);
    connect(buttons_[4], &QPushButton::clicked, this, &TForm1::btnOptClick);
    connect(buttons_[5], &QPushButton::clicked, this, &TForm1::btnAboutClick);
    connect(buttons_[6], &QPushButton::clicked, this, &TForm1::btnExitClick);
}

TForm1::~TForm1()
{
    if (&CurrentDialogs() == dialogs_) SetDialogs(nullptr);
    delete dialogs_;
}

void TForm1::LayOut()
{
    const int w = std::max(width(), ClientWidth);
    const int h = std::max(height(), ClientHeight);
    const int extraWidth = w - ClientWidth;
    const int middleHeight = h - ButtonHeight - StatusHeight;

    // The buttons keep their row; About and Exit stay at its right end.
    panel1_->setGeometry(0, 0, w, ButtonHeight);
    for (int i = 0; i < 7; ++i) {
        const bool right = ButtonSpecs[i].X > ClientWidth / 2;
        buttons_[i]->setGeometry(ButtonSpecs[i].X + (right ? extraWidth : 0), 0, ButtonWidth, ButtonHeight);
    }

    // The preview keeps the logo's on-screen shape (6 : 5) and takes up to
    // half of the extra width; the list takes the rest.
    const int availableWidth = PreviewWidth + extraWidth / 2;
    const int availableHeight = PreviewHeight + (h - ClientHeight);
    const int scale = std::min(availableWidth * PreviewHeight, availableHeight * PreviewWidth);
    const int previewWidth = scale / PreviewHeight;
    const int previewHeight = scale / PreviewWidth;
    const int sideWidth = SidePanelWidth + previewWidth - PreviewWidth;
    list_->setGeometry(0, ButtonHeight, w - sideWidth, middleHeight);
    list_->setColumnWidth(0, std::max(list_->width() - NameColumnMargin, SizeColumnWidth));
    list_->setColumnWidth(1, SizeColumnWidth);
    panel2_->setGeometry(w - sideWidth, ButtonHeight, sideWidth, middleHeight);
    preview_->move(8, 8);
    memo_->setGeometry(9, previewHeight + 18, previewWidth - 2, 45);
    link_->setGeometry(6, previewHeight + 65, previewWidth, 17);
    status_->setGeometry(0, h - StatusHeight, w, StatusHeight);

    if (previewWidth != preview_->width() || previewHeight != preview_->height()) {
        preview_->Resize(previewWidth, previewHeight);
        // Once the window is up, the picture is drawn again at the new size.
        if (previewWidth_ != 0) {
            previewWidth_ = previewWidth;
            previewHeight_ = previewHeight;
            if (!busy_) ShowPreview(SelectedName());
        }
    }
}

void TForm1::InitCaptions()
{
    QCoreApplication::setApplicationName(WindowCaption);
    setWindowTitle(WindowCaption);
    memo_->setPlainText(MemoText);
    link_->setText(MakersHost);
    QFont font = link_->font();
    font.setBold(true);
    font.setUnderline(true);
    link_->setFont(font);
    QPalette p = link_->palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    link_->setPalette(p);
    link_->setCursor(Qt::PointingHandCursor);
    previewWidth_ = preview_->width();
    previewHeight_ = preview_->height();
}

void TForm1::TakeSnapshot()
{
    if (writing_) return;
    snapshot_.reset();
    auto snapshot = std::make_unique<platform::DriveSession>(platform::DriveSession::Mode::Read);
    const bool read = snapshot->Begin() && StageLogoFiles(*snapshot);
    snapshot->Unlock();
    snapshot_ = std::move(snapshot);
    drive_->setText(QtText(" " + DriveCLabel()));
    drive_->setToolTip(QtText(DriveCChoice()));
    if (!read) CurrentDialogs().ErrorBox(snapshot_->Error());
}

void TForm1::Writing(const std::function<void()>& command)
{
    // The snapshot's staging gives way to the command's own.
    if (writing_) {
        command();
        return;
    }
    snapshot_.reset();
    // One writer at a time, then the drive's files staged for this command.
    InWriteSession([&] {
        platform::DriveSession session(platform::DriveSession::Mode::Write);
        writing_ = true;
        try {
            if (session.Begin() && StageLogoFiles(session)) {
                command();
                session.Commit();
            }
        } catch (...) {
            writing_ = false;
            throw;
        }
        writing_ = false;
        if (!session.Error().empty()) CurrentDialogs().ErrorBox(session.Error());
    });
    TakeSnapshot();
}

void TForm1::RefreshList()
{
    busy_ = true;
    try {
        // The list shows the drive as it is now, also an image another program changed.
        TakeSnapshot();
        list_->setColumnWidth(0, list_->width() - NameColumnMargin);
        list_->setColumnWidth(1, SizeColumnWidth);
        list_->clear();
        ScanWarehouse(Settings.LogosDir);
        for (int32_t i = 0; i < Catalogue.Count; ++i) {
            const CatalogueEntry& entry = Catalogue.Entries[static_cast<size_t>(i)];
            auto* item = new QTreeWidgetItem(list_);
            item->setText(0, QtText(entry.Name));
            item->setText(1, QtText(ListSizeText(entry.Size)));
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
        }
        ShowTotals();
    } catch (...) {
    }
    busy_ = false;
}

void TForm1::ShowStatus(const std::string& text, bool bold)
{
    status_->setText(QtText(" " + text));
    QFont font = status_->font();
    font.setBold(bold);
    status_->setFont(font);
    QCoreApplication::processEvents();
}

void TForm1::ShowTotals()
{
    ShowStatus(CatalogueSizeText(), false);
}

void TForm1::ShowPreview(const std::string& name)
{
    if (name.empty()) return;
    if (Settings.BootPreview || Settings.AnimatedBar) {
        ShowBootPreview(Settings.LogosDir + name, Settings.AnimatedBar);
        return;
    }
    cycleTimer_->stop();
    bootPreview_.reset();
    busy_ = true;
    Limg image;
    try {
        ImgLoad(Settings.LogosDir + name, image);
        if (ErrGet() == 0) {
            ImgResize(image, image, previewWidth_, previewHeight_);
            ImgPut(image, &preview_->Surface(), 0, 0);
            preview_->update();
        }
    } catch (...) {
    }
    ImgFree(image);
    busy_ = false;
}

void TForm1::ShowBootPreview(const std::string& path, bool asAnimatedLogo)
{
    busy_ = true;
    try {
        auto preview = std::make_unique<BootPreview>();
        if (preview->Load(path, asAnimatedLogo)) {
            cycleTimer_->stop();
            bootPreview_ = std::move(preview);
            cycleStep_ = 0;
            DrawBootFrame();
            if (bootPreview_->Steps() > 1) cycleTimer_->start();
        }
    } catch (...) {
    }
    ErrClear();
    busy_ = false;
}

bool TForm1::PreviewAnimating() const
{
    return cycleTimer_->isActive();
}

void TForm1::StepPreview()
{
    if (!bootPreview_) return;
    cycleStep_ = (cycleStep_ + 1) % bootPreview_->Steps();
    DrawBootFrame();
}

void TForm1::DrawBootFrame()
{
    const ScreenShapeInfo& shape = ScreenShapeOf(Settings.ScreenShape);
    const PreviewSize size = ShapeInBox(shape.Width, shape.Height, previewWidth_, previewHeight_);
    if (size.Width <= 0 || size.Height <= 0) return;
    Limg frame;
    try {
        bootPreview_->Frame(cycleStep_, size.Width, size.Height, frame);
        if (ErrGet() == 0) {
            // A shape flatter than the box leaves black bands, as the screen would.
            preview_->Surface().Fill(0);
            ImgPut(frame, &preview_->Surface(), (previewWidth_ - size.Width) / 2, (previewHeight_ - size.Height) / 2);
            preview_->update();
        }
    } catch (...) {
    }
    ImgFree(frame);
}

std::string TForm1::SelectedName() const
{
    QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? std::string() : ProgramText(selected.front()->text(0));
}

void TForm1::SelectByName(const std::string& name)
{
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (platform::SameTextAZ(ProgramText(item->text(0)), name)) {
            list_->clearSelection();
            list_->setCurrentItem(item);
            item->setSelected(true);
            list_->scrollToItem(item);
            return;
        }
    }
}

void TForm1::EnableButtons(bool enabled)
{
    for (QPushButton* button : buttons_) button->setEnabled(enabled);
}

int TForm1::MarkedCount() const
{
    int count = 0;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        if (list_->topLevelItem(i)->checkState(0) == Qt::Checked) ++count;
    return count;
}

void TForm1::DeleteImages()
{
    Dialogs& dialogs = CurrentDialogs();
    const int marked = MarkedCount();
    const int selected = static_cast<int>(list_->selectedItems().size());
    std::vector<std::string> names;
    if (marked == 0 && selected == 0) {
        if (!dialogs.Confirm("Delete all logos?")) return;
        if (!dialogs.Confirm("ARE YOU SURE you want to DELETE ALL logo images?")) return;
        for (int i = 0; i < list_->topLevelItemCount(); ++i)
            names.push_back(ProgramText(list_->topLevelItem(i)->text(0)));
    } else if (marked <= 1) {
        std::string name = SelectedName();
        for (int i = 0; i < list_->topLevelItemCount() && marked == 1; ++i)
            if (list_->topLevelItem(i)->checkState(0) == Qt::Checked)
                name = ProgramText(list_->topLevelItem(i)->text(0));
        if (name.empty()) return;
        if (!dialogs.Confirm("Delete image \"" + name + "\" ?")) return;
        names.push_back(name);
    } else {
        if (!dialogs.Confirm("Delete " + std::to_string(marked) + " marked images?")) return;
        for (int i = 0; i < list_->topLevelItemCount(); ++i)
            if (list_->topLevelItem(i)->checkState(0) == Qt::Checked)
                names.push_back(ProgramText(list_->topLevelItem(i)->text(0)));
    }
    const std::string folder = Settings.LogosDir;
    for (const std::string& name : names) DeleteWarehouseFile(folder + name);
    RefreshList();
}

void TForm1::DeleteWarehouseFile(const std::string& path)
{
    if (!platform::DeleteFile(path)) CurrentDialogs().ErrorBox("Couldn't delete file: \"" + path + "\"");
}

void TForm1::FormShow()
{
    // MSDOS.SYS of an image drive names the Windows folder the settings start from.
    ApplyStoredDriveC();
    snapshot_.reset();
    // While another command writes, the settings are read but nothing is written.
    WriteSession session;
    auto snapshot = std::make_unique<platform::DriveSession>(platform::DriveSession::Mode::Read);
    bool runEntryWritten = true;
    const bool read = OpenLogoDrives(*snapshot, session.Held(), runEntryWritten);
    snapshot->Unlock();
    snapshot_ = std::move(snapshot);
    if (!read) CurrentDialogs().ErrorBox(snapshot_->Error());
    InitCaptions();
    RefreshList();
    // The settings are complete either way; the failure is reported once the
    // window is ready rather than leaving it without captions and list.
    if (!runEntryWritten) CurrentDialogs().ErrorBox(RunEntryFailedText);
}

void TForm1::FormClose()
{
    if (closed_) return;
    closed_ = true;
    InWriteSession([] { SaveSettings(); });
    QCoreApplication::quit();
}

void TForm1::btnAddClick()
{
    // The buttons stay disabled until the list shows the new images; the
    // busy cursor covers this window only, not the file dialog in front of it.
    EnableButtons(false);
    setCursor(Qt::WaitCursor);
    Handled([&] {
        AddResult result;
        Writing([&] { result = AddImages(); });
        if (result.Chosen > 0) {
            RefreshList();
            SelectByName(result.LastTarget);
        }
        ShowPreview(SelectedName());
    });
    EnableButtons(true);
    unsetCursor();
}

void TForm1::btnSetClick()
{
    Handled([&] {
        std::string name = SelectedName();
        if (name.empty()) {
            CurrentDialogs().ErrorBox("No file selected.");
            return;
        }
        SetLogoImagePath(Settings.LogosDir + name);
        // The status line says what came of it, also for a refused picture.
        SetLogoOutcome outcome;
        Writing([&] { ShowSetLogo(this, &outcome); });
        // What was written, as the boot screen will show it.
        if (outcome.Written) ShowBootPreview(LogoPath(outcome.Index), false);
        if (outcome.Set) ShowStatus(outcome.Text, true);
    });
}

void TForm1::btnShuffleClick()
{
    Handled([&] { Writing([&] { ShuffleCommand(list_->topLevelItemCount()); }); });
}

void TForm1::btnDelClick()
{
    Handled([&] { Writing([&] { DeleteImages(); }); });
}

void TForm1::btnOptClick()
{
    Handled([&] {
        const std::string warehouse = Settings.LogosDir;
        const std::string drive = platform::DriveImage('C') + '|' + DriveCChoice();
        Writing([&] { ShowLogoOptions(this); });
        // A new drive C: or System folders... may have pointed the list at another warehouse.
        if (platform::DriveImage('C') + '|' + DriveCChoice() != drive ||
            !platform::SameTextAZ(warehouse, Settings.LogosDir)) {
            RefreshList();
            preview_->Clear();
        }
    });
}

void TForm1::btnAboutClick()
{
    Handled([&] {
        const std::string readme = ReadmePath(Settings.ProgramFolder);
        const std::string host = platform::HostPath(readme);
        OpenWithShell(readme, host.empty() ? readme : host);
    });
}

void TForm1::btnExitClick()
{
    Handled([&] { FormClose(); });
    close();
}

void TForm1::ListView1Click()
{
    if (busy_) return;
    Handled([&] {
        ShowTotals();
        ShowPreview(SelectedName());
    });
}

void TForm1::ListView1KeyUp()
{
    ListView1Click();
}

void TForm1::ListView1DblClick()
{
    Handled([&] { RefreshList(); });
}

void TForm1::labLinkClick()
{
    // The shell took "http:\\host" as it took "http://host".
    Handled([&] { OpenWithShell(std::string("http:\\\\") + MakersHost, std::string("http://") + MakersHost); });
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown again (restored after being minimised): an image may have
    // changed meanwhile, for example in the emulator.
    if (shown_ && !event->spontaneous()) return;
    if (shown_) {
        if (!platform::DriveImage('C').empty() && !writing_) Handled([&] { RefreshList(); });
        return;
    }
    shown_ = true;
    Handled([&] { FormShow(); });
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayOut();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    Handled([&] { FormClose(); });
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) ListView1Click();
        if (event->type() == QEvent::MouseButtonDblClick) ListView1DblClick();
    } else if (watched == list_ && event->type() == QEvent::KeyPress) {
        keysDown_.insert(static_cast<QKeyEvent*>(event)->key());
    } else if (watched == list_ && event->type() == QEvent::KeyRelease) {
        // A key pressed in a dialog that has just closed is released here;
        // only a key pressed in the list is the list's.
        if (keysDown_.remove(static_cast<QKeyEvent*>(event)->key())) ListView1KeyUp();
    } else if (watched == list_ && event->type() == QEvent::FocusOut) {
        keysDown_.clear();
    } else if (watched == link_ && event->type() == QEvent::MouseButtonRelease) {
        labLinkClick();
    }
    return QWidget::eventFilter(watched, event);
}

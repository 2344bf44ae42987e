#include "gui/wDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "platform/Paths.h"
#include "platform/Shell.h"

namespace {

QString Q(const std::string& s)
{
    return QtText(s);
}
std::string S(const QString& s)
{
    return ProgramText(s);
}

// The pieces of a "|"-separated filter string.
QStringList FilterPieces(const std::string& filter)
{
    return Q(filter).split('|');
}

// Windows path of a folder as a host folder for a file dialog.
QString HostFolder(const std::string& folder)
{
    if (folder.empty()) return {};
    return Q(platform::HostPath(folder));
}

std::string WindowsName(const QString& hostPath)
{
    std::string win = platform::WindowsPath(S(hostPath));
    return win.empty() ? S(hostPath) : win;
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Runs a file dialog over a filter string; gives the chosen host names and
// the 1-based index of the filter the user ended with.
QStringList RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, QFileDialog::FileMode fileMode,
                          const std::string& title, const std::string& folder, const std::string& proposed,
                          const std::string& filter, int32_t& filterIndex)
{
    QFileDialog dialog(parent, Q(title), HostFolder(folder));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(fileMode);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters = QtNameFilters(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (filterIndex >= 1 && filterIndex <= filters.size()) dialog.selectNameFilter(filters[filterIndex - 1]);
    }
    if (!proposed.empty()) dialog.selectFile(Q(proposed));
    if (ExecDialog(dialog) != QDialog::Accepted) return {};
    const auto chosenFilter = filters.indexOf(dialog.selectedNameFilter());
    if (chosenFilter >= 0) filterIndex = static_cast<int32_t>(chosenFilter) + 1;
    return dialog.selectedFiles();
}

}  // namespace

int ExecDialog(QDialog& dialog)
{
    return dialog.exec();
}

QFont FormFont()
{
    QFont font;
    // Liberation Sans has Arial's narrow metrics; the texts were laid out for
    // a face of that width, not for the wider default sans.
    font.setFamilies({"MS Sans Serif", "Liberation Sans", "Arial"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

void CentreOnScreen(QWidget& form)
{
    const QScreen* screen = form.screen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    form.move(area.center() - QPoint(form.width() / 2, form.height() / 2));
}

std::string ApplicationTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? std::string(AppTitle) : S(name);
}

QString QtText(const std::string& s)
{
    return QString::fromUtf8(s.c_str(), static_cast<int>(s.size()));
}

std::string ProgramText(const QString& s)
{
    return s.toUtf8().toStdString();
}

QString QtLines(const std::string& crlfText)
{
    QString text = QtText(crlfText);
    text.replace("\r\n", "\n");
    return text;
}

std::string ProgramLines(const QString& text)
{
    QString crlf = text;
    crlf.replace("\r\n", "\n");
    crlf.replace('\n', "\r\n");
    return ProgramText(crlf);
}

QStringList QtNameFilters(const std::string& filter)
{
    QStringList pieces = FilterPieces(filter);
    QStringList out;
    for (int i = 0; i + 1 < pieces.size(); i += 2) {
        QString patterns = pieces[i + 1].trimmed();
        patterns.replace(';', ' ');
        // The description may already name the patterns ("Any file (*.*)").
        QString description = pieces[i];
        if (description.endsWith(')')) {
            auto open = description.lastIndexOf('(');
            if (open > 0) description = description.left(open).trimmed();
        }
        out << description + " (" + patterns + ")";
    }
    return out;
}

void QtDialogs::PumpMessages()
{
    QCoreApplication::processEvents();
}

void QtDialogs::ShowStatus(const std::string& text, bool bold)
{
    // The window's status line pumps the messages itself.
    if (statusSink_) {
        statusSink_(text, bold);
    } else {
        PumpMessages();
    }
}

QWidget* QtDialogs::Owner() const
{
    // A box asked from inside a modal form belongs in front of that form.
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr ? modal : parent_;
}

void QtDialogs::ErrorBox(const std::string& message)
{
    QMessageBox box(QMessageBox::Critical, Q("Error from " + ApplicationTitle()), Q(message), QMessageBox::Ok, Owner());
    ExecDialog(box);
}

bool QtDialogs::Confirm(const std::string& question)
{
    QMessageBox box(QMessageBox::Question, Q(ApplicationTitle() + ": Confirmation"), Q(question),
                    QMessageBox::Yes | QMessageBox::No, Owner());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    ExecDialog(box);
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

char QtDialogs::AskOverwrite(const std::string& question)
{
    QMessageBox box(QMessageBox::Question, "Confirm", Q(question), QMessageBox::NoButton, Owner());
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    QPushButton* all = box.addButton(QMessageBox::YesToAll);
    all->setText("All");
    box.setEscapeButton(cancel);
    ExecDialog(box);
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == yes) return AnswerYes;
    if (clicked == no) return AnswerNo;
    if (clicked == all) return AnswerAll;
    return AnswerCancel;
}

std::vector<std::string> QtDialogs::OpenFiles(const std::string& title, std::string& folder, const std::string& filter,
                                              int32_t filterIndex)
{
    QStringList chosen = RunFileDialog(Owner(), QFileDialog::AcceptOpen, QFileDialog::ExistingFiles, title, folder, "",
                                       filter, filterIndex);
    std::vector<std::string> names;
    for (const QString& host : chosen) names.push_back(WindowsName(host));
    if (!names.empty()) folder = FolderOf(names.front());
    return names;
}

void QtDialogs::SaveAs(const std::string& title, std::string& folder, const std::string& proposed, std::string& result,
                       int32_t filterIndex, const std::string& filter)
{
    result.clear();
    QStringList chosen;
    // The path must exist: Qt's dialog accepts a name in a folder that does
    // not, which writing the file would then create.
    for (;;) {
        chosen = RunFileDialog(Owner(), QFileDialog::AcceptSave, QFileDialog::AnyFile, title, folder, proposed, filter,
                               filterIndex);
        if (chosen.isEmpty()) return;
        const QString parent = QFileInfo(chosen.front()).absolutePath();
        if (QFileInfo(parent).isDir()) break;
        ErrorBox("The folder \"" + WindowsName(parent) + "\" does not exist.");
    }
    result = ApplyDefaultExtension(WindowsName(chosen.front()), filter, filterIndex);
    folder = FolderOf(result);
}

bool QtDialogs::OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder)
{
    return platform::OpenDocument(file, parameters, folder);
}

bool QtDialogs::RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder)
{
    return platform::RunAndWait(file, parameters, folder);
}

void QtDialogs::InfoBox(const std::string& message)
{
    QMessageBox box(QMessageBox::Information, Q(ApplicationTitle()), Q(message), QMessageBox::Ok, Owner());
    ExecDialog(box);
}

#include "gui/QtShell.h"

#include <poll.h>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include "app/Language.h"
#include "gui/HelpWindow.h"
#include "gui/MainFrame.h"
#include "gui/OptionsDialog.h"
#include "gui/QtTranslations.h"
#include "gui/SelectConnectionDialog.h"
#include "gui/TerminalFontDialog.h"
#include "gui/TerminalWidget.h"
#include "gui/WindowSettingDialog.h"

namespace tavrin {

namespace {

constexpr const char* kCaption = "Tavrin";

// Whether descriptor fd has bytes (or a hang-up) waiting to be read, without waiting.
bool HasInput(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon ToQtIcon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Exclamation: return QMessageBox::Warning;
        case BoxIcon::Information: return QMessageBox::Information;
        case BoxIcon::Question: return QMessageBox::Question;
        case BoxIcon::Stop: return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

// Deleting a timer or notifier from inside its own signal is not safe: hand it to the loop.
// Stopped at once, so a closed descriptor or a stopped timer never fires again.
void Retire(std::unique_ptr<QTimer>& timer) {
    if (!timer) return;
    timer->stop();
    timer->disconnect();
    timer.release()->deleteLater();
}

void Retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    notifier->disconnect();
    notifier.release()->deleteLater();
}

}  // namespace

CQtShell::CQtShell(QObject* parent) : QObject(parent) {}

CQtShell::~CQtShell() {
    if (progress_) delete progress_.data();
}

void CQtShell::SetFrame(CMainFrame* frame) {
    frame_ = frame;
}

QWidget* CQtShell::DialogParent() const {
    return frame_.data();
}

void CQtShell::Activity() {
    if (activity_) activity_();
}

namespace {

QMessageBox::StandardButtons ToQtButtons(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok: return QMessageBox::Ok;
        case BoxButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
        case BoxButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
        case BoxButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

BoxAnswer ToAnswer(int button, BoxButtons buttons) {
    switch (button) {
        case QMessageBox::Ok: return BoxAnswer::Ok;
        case QMessageBox::Yes: return BoxAnswer::Yes;
        case QMessageBox::No: return BoxAnswer::No;
        case QMessageBox::Retry: return BoxAnswer::Retry;
        default: break;
    }
    // Closing the box with Escape or the title bar's button is its negative answer.
    switch (buttons) {
        case BoxButtons::Ok: return BoxAnswer::Ok;
        case BoxButtons::YesNo: return BoxAnswer::No;
        default: return BoxAnswer::Cancel;
    }
}

}  // namespace

BoxAnswer CQtShell::MessageBox(const std::string& text, BoxButtons buttons, BoxIcon icon) {
    QMessageBox box(ToQtIcon(icon), kCaption, Q(text), ToQtButtons(buttons), DialogParent());
    return ToAnswer(box.exec(), buttons);
}

void CQtShell::AskLater(const std::string& text, BoxButtons buttons, BoxIcon icon,
                        std::function<void(BoxAnswer)> answered) {
    // open() makes the box window-modal without an event loop of its own: the terminal's
    // sockets and timers go on being served while the operator reads it.
    auto* box = new QMessageBox(ToQtIcon(icon), kCaption, Q(text), ToQtButtons(buttons), DialogParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, answered = std::move(answered)] {
        if (answered) answered(ToAnswer(box->standardButton(box->clickedButton()), buttons));
    });
    box->open();
}

void CQtShell::ShowModelessMessage(const std::string& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, kCaption, Q(text), QMessageBox::Ok, DialogParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QStringList CQtShell::NameFilters(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) break;
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

std::optional<std::string> CQtShell::AskOpenFile(const std::string& title, const std::string& filter,
                                                 const std::string& startFolder) {
    QFileDialog dialog(DialogParent(), Q(title), Q(startFolder));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList filters = NameFilters(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    lastFilterIndex_ = std::max<int>(0, filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> CQtShell::AskSaveFile(const std::string& title, const std::string& filter,
                                                 const std::string& startFolder,
                                                 const std::string& defaultExtension) {
    QFileDialog dialog(DialogParent(), Q(title), Q(startFolder));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QString suffix = Q(defaultExtension);
    while (suffix.startsWith('*') || suffix.startsWith('.')) suffix.remove(0, 1);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    const QStringList filters = NameFilters(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    lastFilterIndex_ = std::max<int>(0, filters.indexOf(dialog.selectedNameFilter()));
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> CQtShell::AskFolder(const std::string& title, const std::string& startFolder) {
    const QString folder = QFileDialog::getExistingDirectory(DialogParent(), Q(title), Q(startFolder));
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

std::optional<std::string> CQtShell::AskInput(const std::string& title, const std::string& prompt) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(DialogParent(), Q(title), Q(prompt), QLineEdit::Normal, {}, &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

void CQtShell::AskInputLater(const std::string& title, const std::string& prompt,
                             std::function<void(std::optional<std::string>)> answered) {
    auto* dialog = new QInputDialog(DialogParent());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(Q(title));
    dialog->setLabelText(Q(prompt));
    dialog->setTextEchoMode(QLineEdit::Normal);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, answered = std::move(answered)](int result) {
                         if (!answered) return;
                         if (result == QDialog::Accepted) {
                             answered(dialog->textValue().toStdString());
                         } else {
                             answered(std::nullopt);
                         }
                     });
    dialog->open();
}

bool CQtShell::RunOptionsDialog(CPelinDoc& doc, int highestPort) {
    COptionsDlg dialog(doc, highestPort, DialogParent());
    return dialog.exec() == QDialog::Accepted;
}

bool CQtShell::RunSelectConnectionDialog(CPelinDoc& doc) {
    CSelectConnDlg dialog(doc, DialogParent());
    return dialog.exec() == QDialog::Accepted;
}

std::optional<std::string> CQtShell::AskFile(const FileDialogRequest& request) {
    const QFileInfo initial(Q(request.initialFile));
    QString folder = Q(request.startFolder);
    if (!request.initialFile.empty() && !initial.path().isEmpty() && initial.path() != QStringLiteral("."))
        folder = initial.absolutePath();
    QFileDialog dialog(DialogParent(), Q(request.title), folder);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A save dialog asks before replacing a file; an open dialog that need not find its file
    // still needs its folder, checked below.
    dialog.setFileMode(request.save || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QString suffix = Q(request.defaultExtension);
    while (suffix.startsWith('*') || suffix.startsWith('.')) suffix.remove(0, 1);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    const QStringList filters = NameFilters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.initialFile.empty()) dialog.selectFile(initial.fileName());
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        const QString chosen = dialog.selectedFiles().front();
        if (QFileInfo(chosen).absoluteDir().exists()) {
            lastFilterIndex_ = std::max<int>(0, filters.indexOf(dialog.selectedNameFilter()));
            return chosen.toStdString();
        }
        // A settings file in a folder that does not exist could never be written.
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kCaption),
                        QString::fromUtf8(CurrentLanguage() != 0 ? "The folder does not exist."
                                                                 : "フォルダが存在しません。"),
                        QMessageBox::Ok, DialogParent());
        box.exec();
    }
}

bool CQtShell::AskFont(LogFont& font) {
    return RunTerminalFontDialog(font, DialogParent());
}

bool CQtShell::ApplyTerminalFont() {
    if (!frame_ || frame_->Terminal() == nullptr) return false;
    frame_->Terminal()->ApplyFont();
    return true;
}

bool CQtShell::RunWindowSettingDialog(CWindowSetting& setting) {
    CWindowSettingDialog dialog(setting, DialogParent());
    return dialog.exec() == QDialog::Accepted;
}

void CQtShell::Beep() {
    QApplication::beep();
}

void CQtShell::RequestRepaint() {
    if (frame_) frame_->Terminal()->RequestRepaint();
}

void CQtShell::UpdateCaret() {
    // A paint already on its way syncs the scroll bars and the caret when it is done.
    if (frame_ && !frame_->Terminal()->RepaintPending()) frame_->Terminal()->SyncScrollBarsAndCaret();
}

void CQtShell::SetTitle(const std::string& title) {
    if (frame_) frame_->setWindowTitle(Q(title));
}

void CQtShell::MenusChanged() {
    // Every language change rebuilds the menus: Qt's own texts follow it here.
    ApplyQtLanguage(CurrentLanguage());
    if (frame_) frame_->RebuildMenus();
}

std::string CQtShell::ClipboardText() {
    return QApplication::clipboard()->text().toStdString();
}

// Asking the display server for the clipboard is a round trip to whichever program owns it, on
// every idle turn; the answer is kept until the clipboard says it changed.
bool CQtShell::ClipboardHasText() {
    if (!clipboardWatched_) {
        clipboardWatched_ = true;
        connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
                [this] { clipboardKnown_ = false; });
    }
    if (!clipboardKnown_) {
        clipboardHasText_ = !QApplication::clipboard()->text().isEmpty();
        clipboardKnown_ = true;
    }
    return clipboardHasText_;
}

void CQtShell::SetClipboardText(const std::string& text) {
    QApplication::clipboard()->setText(Q(text));
}

bool CQtShell::OpenDocument(const std::string& path) {
    // HTML (the user guide) is shown in the program's own help window, which needs no browser;
    // that window offers the browser too.
    if (QString::fromStdString(path).endsWith(QStringLiteral(".html"), Qt::CaseInsensitive)) {
        if (!help_) {
            help_ = new CHelpWindow(frame_);
            help_->setAttribute(Qt::WA_DeleteOnClose);
        }
        return help_->ShowPage(Q(path));
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

bool CQtShell::StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const auto& a : arguments) args << Q(a);
    return QProcess::startDetached(Q(program), args);
}

void CQtShell::Post(std::function<void()> task) {
    // A queued call on this object runs on the thread this object lives on, whichever thread
    // posts it.
    QMetaObject::invokeMethod(
        this,
        [this, task = std::move(task)] {
            task();
            Activity();
        },
        Qt::QueuedConnection);
}

void CQtShell::ShowProgress(const std::string& title) {
    if (!progress_) {
        progress_ = new QProgressDialog(DialogParent());
        progress_->setWindowModality(Qt::NonModal);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumDuration(0);
        progress_->setRange(0, 100);
        connect(progress_.data(), &QProgressDialog::canceled, this, [this] { progressCancelled_ = true; });
    }
    progressCancelled_ = false;
    progress_->setWindowTitle(Q(title));
    progress_->setValue(0);
    progress_->show();
    progress_->raise();
}

void CQtShell::ShowTransferProgress(const std::string& utf8Text, int percent) {
    if (frame_) frame_->ShowTransferProgress(Q(utf8Text), percent);
}

void CQtShell::HideTransferProgress() {
    if (frame_) frame_->HideTransferProgress();
}

void CQtShell::SetProgress(int percent) {
    if (progress_) progress_->setValue(std::clamp(percent, 0, 100));
}

bool CQtShell::ProgressCancelled() {
    return progressCancelled_;
}

void CQtShell::HideProgress() {
    if (progress_) progress_->hide();
}

void CQtShell::StartTimer(int id, int periodMs) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (timerHandler_) {
                auto handler = timerHandler_;  // the handler may replace itself
                handler(id);
            }
            Activity();
        });
    }
    timer->start(std::max(0, periodMs));
}

void CQtShell::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Retire(it->second);
    timers_.erase(it);
}

void CQtShell::SetTimerHandler(std::function<void(int)> handler) {
    timerHandler_ = std::move(handler);
}

void CQtShell::WatchDescriptor(int fd, std::function<void()> onReadable) {
    UnwatchDescriptor(fd);
    watchHandlers_[fd] = std::move(onReadable);
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] {
        auto it = watchHandlers_.find(fd);
        if (it == watchHandlers_.end()) return;
        auto handler = it->second;  // the handler may unwatch its own descriptor
        handler();
        // A read that left the descriptor empty ends a burst: its last state is painted now.
        if (frame_ && frame_->Terminal() && watches_.count(fd) != 0 && !HasInput(fd))
            frame_->Terminal()->InputDrained();
        Activity();
    });
    watches_[fd] = std::move(notifier);
}

void CQtShell::PostAfter(int ms, std::function<void()> task) {
    QTimer::singleShot(ms, this, [this, task = std::move(task)] {
        task();
        Activity();
    });
}

void CQtShell::WatchWritable(int fd, std::function<void()> onWritable) {
    UnwatchWritable(fd);
    writeHandlers_[fd] = std::move(onWritable);
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] {
        auto it = writeHandlers_.find(fd);
        if (it == writeHandlers_.end()) return;
        auto handler = it->second;  // the handler may unwatch its own descriptor
        handler();
        Activity();
    });
    writeWatches_[fd] = std::move(notifier);
}

void CQtShell::UnwatchWritable(int fd) {
    auto it = writeWatches_.find(fd);
    if (it != writeWatches_.end()) {
        Retire(it->second);
        writeWatches_.erase(it);
    }
    writeHandlers_.erase(fd);
}

void CQtShell::UnwatchDescriptor(int fd) {
    auto it = watches_.find(fd);
    if (it != watches_.end()) {
        Retire(it->second);
        watches_.erase(it);
    }
    watchHandlers_.erase(fd);
}

void CQtShell::Quit(int status) {
    QCoreApplication::exit(status);
}

void CQtShell::MoveFrame(int left, int top, int width, int height) {
    if (!frame_) return;
    frame_->move(left, top);
    frame_->resize(width, height);
    frame_->update();
}

void CQtShell::CloseFrame() {
    if (frame_) {
        frame_->EndSession();
    } else {
        Quit(0);
    }
}

}  // namespace tavrin

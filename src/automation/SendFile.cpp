#include "automation/SendFile.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/Language.h"
#include "app/MessageTable.h"
#include "app/Settings.h"
#include "app/StatusText.h"
#include "automation/MacroEngine.h"
#include "platform/Shell.h"

namespace tavrin {

namespace {
constexpr int kSendFileDialogTitle = -260;  // "Open file which it transmits ."
constexpr int kFailedToOpenFile = -20;
}  // namespace

int CSendFile::SendFileCommand() {
    std::optional<std::string> chosen =
        shell_.AskOpenFile(GetMessageText(kSendFileDialogTitle), "*.bin|*.bin|*.*|*.*", "");
    if (!chosen) return -1;
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(*chosen, error);
    if (error) path = *chosen;
    (void)ChangeFolder(path.parent_path().string());
    std::string name = path.filename().string();

    // The macro is written before it is run; if it cannot be, an older one of the same name
    // must not be run in its place.
    {
        errno = 0;
        std::ofstream macro(kSendFileMacroName, std::ios::binary | std::ios::trunc);
        macro << "sendfile '" << name << "'\n";
        macro.flush();
        if (!macro) {
            const Status why =
                Status::FromErrno("write", std::filesystem::absolute(kSendFileMacroName, error).string(),
                                  errno != 0 ? errno : EIO);
            shell_.Tell(WithStatus(GetMessageText(kFailedToOpenFile), why), BoxIcon::Exclamation);
            return kFailedToOpenFile;
        }
    }

    engine_.ClearFileSent();
    engine_.StopMacroAndReport();
    engine_.StartMacro(kSendFileMacroName);

    std::uintmax_t size = std::filesystem::file_size(path, error);
    size_ = error ? 0 : static_cast<size_t>(size);
    shell_.ShowProgress(CurrentLanguage() == 1 ? "Transmitting..." : "転送中");
    active_ = true;
    Update();
    return 0;
}

void CSendFile::OnTick() {
    if (active_) Update();
}

void CSendFile::Update() {
    size_t sent = engine_.SentBytes();
    int percent = size_ == 0 ? 100 : static_cast<int>(std::min<size_t>(sent, size_) * 100 / size_);
    shell_.SetProgress(percent);
    bool everythingSent = sent >= size_;
    if (everythingSent || engine_.FileSent() || shell_.ProgressCancelled()) Finish();
}

void CSendFile::Finish() {
    active_ = false;
    engine_.StopMacroAndReport();
    shell_.HideProgress();
}

}  // namespace tavrin

#include "automation/DroppedFiles.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/PelinDoc.h"
#include "app/StatusText.h"
#include "automation/MacroEngine.h"
#include "platform/Clock.h"
#include "platform/Shell.h"

namespace tavrin {

namespace {

bool IsMacroName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return tail == ".uas";
}

}  // namespace

CDroppedFiles::CDroppedFiles(CPelinDoc& doc, CMacroEngine& engine, Shell& shell, Clock& clock,
                             std::function<void(uint8_t)> typeChar)
    : doc_(doc), engine_(engine), shell_(shell), clock_(clock), typeChar_(std::move(typeChar)) {}

void CDroppedFiles::OnDropFiles(const std::vector<std::string>& files) {
    if (!doc_.connected) return;
    for (const std::string& name : files) {
        if (IsMacroName(name)) {
            engine_.StopMacroAndReport();
            engine_.StartMacro(name);
            continue;
        }
        std::error_code error;
        if (!std::filesystem::exists(name, error)) {
            const Status why = Status::FromErrno("open", name, error ? error.value() : ENOENT);
            shell_.Tell(WithStatus("file not found.", why), BoxIcon::Exclamation);
            continue;
        }
        if (const int cause = QueueTextFile(name); cause != 0) {
            shell_.Tell(WithStatus("file drop error.", Status::FromErrno("read", name, cause)), BoxIcon::Exclamation);
        }
    }
}

int CDroppedFiles::QueueTextFile(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return errno != 0 ? errno : EIO;
    const std::string lineEnd = doc_.isTcp ? "\n" : "\r";
    std::deque<std::string> lines;
    std::string line;
    bool pending = false;  // a line has been started
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n') {
            // A CR before the LF belongs to the line end of a file written on another system.
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line + lineEnd);
            line.clear();
            pending = false;
            continue;
        }
        line.push_back(c == '\t' ? ' ' : static_cast<char>(c));
        pending = true;
    }
    const int failed = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    if (failed != 0) return failed;  // a file read only in part is not typed at all
    if (pending) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line + lineEnd);
    }
    for (std::string& queued : lines) lines_.push_back(std::move(queued));
    return 0;
}

void CDroppedFiles::OnTick() {
    if (lines_.empty()) return;
    int64_t now = clock_.NowMs();
    if (paused_ && now < nextLineAtMs_) return;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    if (typeChar_) {
        for (char c : line) typeChar_(static_cast<uint8_t>(c));
    }
    paused_ = true;
    nextLineAtMs_ = now + kDroppedLinePauseMs;
}

}  // namespace tavrin

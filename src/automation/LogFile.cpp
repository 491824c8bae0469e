#include "automation/LogFile.h"

#include <array>
#include <cerrno>
#include <filesystem>

#include "app/MessageTable.h"
#include "app/StatusText.h"
#include "platform/Shell.h"

namespace tavrin {

namespace {
constexpr int kLogDialogTitle = 20;  // "Open logging file."
constexpr int kFailedToOpenFile = -20;
constexpr const char* kLogFilter = "*.log|*.log|*.*|*.*";
}  // namespace

CLogFile::~CLogFile() {
    if (file_ != nullptr) std::fclose(file_);
}

int CLogFile::OpenLogFile(const std::string& path) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        path_.clear();
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        failure_ = Status::FromErrno("open", path, errno != 0 ? errno : EIO);
        Changed();
        return kFailedToOpenFile;
    }
    failure_ = Status();
    path_ = path;
    Changed();
    return 0;
}

void CLogFile::CloseLogFile() {
    if (file_ == nullptr) return;
    errno = 0;
    if (std::fclose(file_) != 0) {
        file_ = nullptr;
        Failed("close", errno != 0 ? errno : EIO);
        return;
    }
    file_ = nullptr;
    path_.clear();
    Changed();
}

void CLogFile::Failed(const char* what, int error) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    failure_ = Status::FromErrno(what, path_, error);
    path_.clear();
    Changed();
    if (onWriteFailed) onWriteFailed(failure_);
}

std::string LogStoppedText(const Status& failure) {
    return LocalizedUtf8("The log could not be written: ", "ログファイルに書き込めませんでした: ") +
           StatusDetail(failure) + LocalizedUtf8(" Logging has stopped.", "ログを停止しました。");
}

bool CLogFile::WriteLogLine(std::span<const uint8_t> row) {
    if (file_ == nullptr) return true;
    std::array<uint8_t, kLogRowBytes + 2> record;
    record.fill(' ');
    for (size_t i = 0; i < kLogRowBytes && i < row.size(); ++i) record[i] = row[i];
    record[kLogRowBytes] = '\r';
    record[kLogRowBytes + 1] = '\n';
    // Flushed per line, so a full disk shows at once and the log is readable while it grows.
    errno = 0;
    bool ok = std::fwrite(record.data(), 1, record.size(), file_) == record.size() && std::fflush(file_) == 0;
    if (!ok) Failed("write", errno != 0 ? errno : EIO);
    return ok;
}

std::string ApplyLogExtension(const std::string& path, int filterIndex) {
    if (filterIndex != 0) return path;
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (extension == ".log") return path;
    return path + ".log";
}

int OpenLogFileCommand(CLogFile& log, Shell& shell) {
    std::optional<std::string> chosen =
        // No default extension for the dialog: ".log" is added below, and only when the "*.log"
        // filter is selected; with "*.*" the name is used as typed.
        shell.AskSaveFile(GetMessageText(kLogDialogTitle), kLogFilter, "", "");
    if (!chosen) return -1;
    std::string path = ApplyLogExtension(*chosen, shell.LastFilterIndex());
    int result = log.OpenLogFile(path);
    if (result != 0) {
        shell.Tell(WithStatus(GetMessageText(kFailedToOpenFile), log.LastFailure()), BoxIcon::Exclamation);
    }
    return result;
}

}  // namespace tavrin

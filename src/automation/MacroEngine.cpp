#include "automation/MacroEngine.h"

#include <array>
#include <cerrno>
#include <limits>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "app/PelinDoc.h"
#include "app/StatusText.h"
#include "app/ViewState.h"
#include "automation/LogFile.h"
#include "link/LinkOps.h"
#include "platform/Clock.h"
#include "platform/Shell.h"
#include "terminal/WatchBuffer.h"

namespace tavrin {

namespace {

constexpr int kComOpenError = -10;         // "COM device open error.\n\r"
constexpr int kFailedToOpenFile = -20;     // "Failed to open file."
constexpr int kOperateFileManager = -110;  // "\n\rPlease operate file-maneger or explorer."
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kCr = 0x0D;
constexpr const char* kExitThisProgram = "Exit this program.";
constexpr const char* kInputTitle = "INPUT";

bool IsDialogStatement(MacroCode code) {
    return code == kCodeMessageBox || code == kCodeMessageCancel || code == kCodeKeyInput;
}

}  // namespace

CMacroEngine::CMacroEngine(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell, Clock& clock,
                           CLogFile& log, MacroHooks hooks)
    : doc_(doc),
      view_(view),
      link_(link),
      shell_(shell),
      clock_(clock),
      log_(log),
      hooks_(std::move(hooks)) {}

CMacroEngine::~CMacroEngine() {
    AbandonSendFile();
}

void CMacroEngine::UseWatchBuffer(CWatchBuffer& watch) {
    hooks_.clearReceivedText = [&watch] { watch.Clear(); };
    hooks_.checkWaitPatterns = [&watch](const std::string& awaited, const std::string& errorText) {
        return watch.CheckWaitPatterns(awaited, errorText);
    };
    watch.SetMacroRunning([this] { return IsRunning(); });
}

void CMacroEngine::ClearReceived() {
    if (hooks_.clearReceivedText) hooks_.clearReceivedText();
}

void CMacroEngine::AbandonSendFile() {
    if (sendFile_ != nullptr) std::fclose(sendFile_);
    sendFile_ = nullptr;
}

int64_t CMacroEngine::ElapsedSeconds() const {
    if (!startSet_) return std::numeric_limits<int64_t>::max();
    return (clock_.NowMs() - startMs_) / 1000;
}

void CMacroEngine::CloseMacroLog() {
    if (logOpenedByMacro_ && log_.IsLogOpen()) log_.CloseLogFile();
}

int CMacroEngine::StartMacro(const std::string& path) {
    if (reader_.IsOpen() || !reader_.Open(path)) {
        Status why = OwnFileStatus(path, reader_.Refusal());
        if (reader_.IsOpen())
            why = {"open", path, 0, LocalizedUtf8("another macro is running", "別のマクロを実行中です")};
        shell_.Tell(WithStatus(GetMessageText(kFailedToOpenFile), why));
        return 0;
    }
    runState_ = 0;
    endStatus_ = 0;
    sentBytes_ = 0;
    waitState_ = kWaitIdle;
    sleepState_ = 0;
    awaitingOperator_ = false;
    view_.keysEnabled = 0;
    logOpenedByMacro_ = false;
    errorMessage_.clear();
    errorPattern_.clear();
    repeatText_.clear();
    ClearReceived();
    return 1;
}

void CMacroEngine::StopMacro() {
    bool wasRunning = runState_ >= 0 || reader_.IsOpen();
    runState_ = -1;
    reader_.Close();
    // A stop abandons a half-sent file, so the next sendfile opens its own.
    AbandonSendFile();
    waitState_ = kWaitIdle;
    sleepState_ = 0;
    awaitingOperator_ = false;
    if (!wasRunning) return;
    if (endStatus_ != kMacroEndedByItself) endStatus_ = kMacroStopped;
    if (hooks_.onStopped) hooks_.onStopped(endStatus_);
}

void CMacroEngine::StopMacroAndReport() {
    StopMacro();
    if (!macroTransfer_) return;
    // The controller is inside a transfer the macro started: break it off, tell the operator,
    // and give the controller a fresh line. The flag stays until the prompt arrives.
    link_.SendLinkByte(kEtx);
    // The fresh line follows the operator's OK, as it always has, and a macro started meanwhile
    // (autoexec) takes its first step only after it.
    reportPending_ = true;
    shell_.AskLater("LOADorSAVE Interruptted!" + std::to_string(endStatus_), BoxButtons::Ok,
                    BoxIcon::Exclamation, [this, alive = life_.Watch()](BoxAnswer) {
                        if (alive.expired()) return;
                        reportPending_ = false;
                        link_.SendLinkByte(kCr);
                        if (hooks_.onOperatorAnswered) hooks_.onOperatorAnswered();
                    });
}

void CMacroEngine::ShowMacroMessage(const std::string& utf8Text) {
    shell_.ShowModelessMessage(utf8Text);
    StopMacro();
}

void CMacroEngine::MacroStep() {
    if (runState_ < 0) {
        view_.keysEnabled = 1;
        return;
    }
    if (!doc_.connected) return;     // the macro waits for the link to come back
    if (AwaitingOperator()) return;  // a box or an input is still open
    if (!repeatText_.empty()) {
        link_.SendLinkBytes(reinterpret_cast<const uint8_t*>(repeatText_.data()), repeatText_.size());
    }
    if (runState_ == 0) {
        statement_ = MacroStatement{};
        int read = reader_.ReadMacroLine(line_);
        if (read == 3) {
            endStatus_ = kMacroEndedByItself;
            StopMacro();
            return;
        }
        if (read != 0) {
            ShowMacroMessage("File read error!!\r\n");
            return;
        }
        int parsed = ParseMacroLine(line_, statement_);
        if (parsed == 1) return;
        if (parsed != 0) {
            ShowMacroMessage("Execute file format error!!\r\n[" + Cp932ToUtf8(line_) + "]\r\n" +
                             kExitThisProgram + "\r\n");
            return;
        }
    }
    if (macroTransfer_ && IsDialogStatement(statement_.code)) {
        ShowMacroMessage("This macro line can't use in file access!!\r\n[" + Cp932ToUtf8(line_) + "]\r\n" +
                         kExitThisProgram + "\r\n");
        return;
    }
    bool inProgress = Execute();
    // A statement may have stopped the macro; only a running one moves on.
    if (runState_ >= 0) runState_ = inProgress ? 1 : 0;
}

bool CMacroEngine::Execute() {
    switch (statement_.code) {
        case kCodeErrorMessageBox:
            errorMessage_ = CutCp932(statement_.text, kMacroStoredTextMax);
            return false;
        case kCodeErrorCheck: errorPattern_ = CutCp932(statement_.text, kMacroStoredTextMax); return false;
        case kCodeSendRepeat: repeatText_ = CutCp932(statement_.text, kMacroStoredTextMax); return false;
        case kCodeTimeout:
            // The budget runs from this statement, not from the wait that uses it.
            startSet_ = true;
            startMs_ = clock_.NowMs();
            limitSec_ = statement_.number;
            return false;
        case kCodeSleep: return DoSleep();
        case kCodeWait: return DoWait();
        case kCodeSendLn: DoSendLn(); return false;
        case kCodeMessageBox: DoModalBox(false); return false;
        case kCodeMessageCancel: DoModalBox(true); return false;
        case kCodeKeyInput: DoKeyInput(); return false;
        case kCodeBaudRate: DoBaudRate(); return false;
        case kCodeSendFile: return DoSendFile();
        case kCodeOpenLog: DoOpenLog(); return false;
        case kCodeCloseLog: log_.CloseLogFile(); return false;
        case kCodeKeyEnable: view_.keysEnabled = 1; return false;
        case kCodeKeyDisable: view_.keysEnabled = 0; return false;
        case kCodeEnd:
        case kCodeContinue:
            endStatus_ = kMacroEndedByItself;
            StopMacro();
            return false;
        default: return false;
    }
}

bool CMacroEngine::DoSleep() {
    if (sleepState_ == 0) {
        // Sleep shares the budget's start with timeout: a later wait measures from here.
        startSet_ = true;
        startMs_ = clock_.NowMs();
        limitSec_ = statement_.number;
        sleepState_ = 1;
        return true;
    }
    if (ElapsedSeconds() >= limitSec_) {
        sleepState_ = 0;
        return false;
    }
    return true;
}

bool CMacroEngine::DoWait() {
    if (waitState_ == kWaitIdle) {
        waitPattern_ = CutCp932(statement_.text, kMacroStoredTextMax);
        waitState_ = kWaiting;
        return true;
    }
    if (waitState_ == kWaiting) {
        int seen = hooks_.checkWaitPatterns ? hooks_.checkWaitPatterns(waitPattern_, errorPattern_) : 0;
        if (seen == kWaitFound || seen == kWaitErrorFound) waitState_ = seen;
        // The budget is checked even in the tick that found the pattern.
        if (ElapsedSeconds() > limitSec_) {
            CloseMacroLog();
            ShowMacroMessage(errorMessage_.empty() ? std::string("wait timeout !")
                                                   : Cp932ToUtf8(errorMessage_));
            return false;
        }
    }
    if (waitState_ == kWaitFound) {
        errorPattern_.clear();
        repeatText_.clear();
        ClearReceived();
        waitState_ = kWaitIdle;
        return false;
    }
    if (waitState_ == kWaitErrorFound) {
        CloseMacroLog();
        ShowMacroMessage(Cp932ToUtf8(errorMessage_));
        return false;
    }
    return true;
}

void CMacroEngine::DoSendLn() {
    std::string text = statement_.text;
    static constexpr std::string_view kInputVariable = "$inputstr";
    size_t at = text.find(kInputVariable);
    if (at != std::string::npos) text.replace(at, kInputVariable.size(), inputText_);
    ClearReceived();
    std::string line = text + (doc_.isTcp ? "\r\n" : "\r");
    int result = hooks_.sendTransferCommand ? hooks_.sendTransferCommand(line) : -1;
    if (result == 0) {
        macroTransfer_ = true;
        return;
    }
    if (result == kOperateFileManager && hooks_.printLocalText) {
        hooks_.printLocalText(GetMessageTextCp932(kOperateFileManager));
    }
    link_.SendLinkBytes(reinterpret_cast<const uint8_t*>(line.data()), line.size());
}

void CMacroEngine::DoModalBox(bool withCancel) {
    // The macro goes on with its next statement once the operator has answered; the terminal
    // itself goes on meanwhile.
    awaitingOperator_ = true;
    shell_.AskLater(Cp932ToUtf8(statement_.text), withCancel ? BoxButtons::OkCancel : BoxButtons::Ok,
                    BoxIcon::Exclamation, [this, withCancel, alive = life_.Watch()](BoxAnswer answer) {
                        if (alive.expired() || !awaitingOperator_) return;
                        awaitingOperator_ = false;
                        if (withCancel && answer != BoxAnswer::Ok) StopMacro();  // end status 3
                        if (hooks_.onOperatorAnswered) hooks_.onOperatorAnswered();
                    });
}

void CMacroEngine::DoKeyInput() {
    awaitingOperator_ = true;
    shell_.AskInputLater(kInputTitle, Cp932ToUtf8(statement_.text),
                         [this, alive = life_.Watch()](std::optional<std::string> entered) {
                             if (alive.expired() || !awaitingOperator_) return;
                             awaitingOperator_ = false;
                             // Cancel keeps the old value.
                             if (entered) inputText_ = CutCp932(Utf8ToCp932(*entered), kMacroInputMax);
                             if (hooks_.onOperatorAnswered) hooks_.onOperatorAnswered();
                         });
}

void CMacroEngine::DoBaudRate() {
    // There is no serial port to re-open on TCP/IP: the statement does nothing there.
    if (doc_.isTcp) return;
    int result = hooks_.reopenSerial ? hooks_.reopenSerial(statement_.number) : kComOpenError;
    if (result != 0) {
        ShowMacroMessage(GetMessageText(kComOpenError));
        return;
    }
    doc_.baudRate = std::to_string(statement_.number);
}

bool CMacroEngine::DoSendFile() {
    if (sendFile_ == nullptr) {
        sendFile_ = std::fopen(statement_.text.c_str(), "rb");
        if (sendFile_ == nullptr) {
            ShowMacroMessage(
                WithStatus(GetMessageText(kFailedToOpenFile),
                           Status::FromErrno("open", statement_.text, errno != 0 ? errno : EIO)));
            return false;
        }
        sentBytes_ = 0;
        return true;
    }
    std::array<uint8_t, kSendFileChunk> chunk;
    size_t got = std::fread(chunk.data(), 1, chunk.size(), sendFile_);
    if (got > 0) {
        link_.SendLinkBytes(chunk.data(), got);
        sentBytes_ += got;
    }
    if (got < chunk.size()) {
        bool failed = std::ferror(sendFile_) != 0;
        AbandonSendFile();
        if (failed) {
            // A file that could not be read to its end has not been sent.
            ShowMacroMessage("File read error!!\r\n");
            return false;
        }
        fileSent_ = true;
        return false;
    }
    return true;
}

void CMacroEngine::DoOpenLog() {
    log_.CloseLogFile();
    if (log_.OpenLogFile(statement_.text) != 0) {
        ShowMacroMessage(WithStatus(GetMessageText(kFailedToOpenFile), log_.LastFailure()));
        return;
    }
    logOpenedByMacro_ = true;
}

}  // namespace tavrin

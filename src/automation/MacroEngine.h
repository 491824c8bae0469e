#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "automation/MacroLanguage.h"
#include "platform/LifeToken.h"

namespace tavrin {

struct CPelinDoc;
struct ViewState;
class LinkOps;
class Shell;
class Clock;
class CLogFile;
class CWatchBuffer;

inline constexpr int kPollTimerId = 1;
inline constexpr int kPollTimerPeriodMs = 20;
// sendfile sends at most this many bytes per tick.
inline constexpr size_t kSendFileChunk = 400;

// How a macro run ended.
inline constexpr int kMacroEndedByItself = 1;  // end, continue, or the end of the file
inline constexpr int kMacroStopped = 3;        // an error, Cancel, or a stop from outside

// What the interpreter needs from the layers that are wired together above it. Every hook may
// be left empty; what an empty hook means is said with it.
struct MacroHooks {
    // The macro path of SendTransferCommand: 0 the line was a transfer command and has been
    // sent (the transfer session keeps its folder), -1 not a transfer command (nothing sent), -110 one
    // of the refused words. Empty: every line is "not a transfer command".
    std::function<int(const std::string& line)> sendTransferCommand;
    // Prints the terminal's own text (CP932 bytes) into the screen through the receive
    // interpreter, so that it is logged like controller output. Empty: not shown.
    std::function<void(const std::string& cp932)> printLocalText;
    // Closes the serial port and opens it again at this rate with the connection's parity, data
    // bits and stop bits. 0 on success, negative on failure. Empty: always fails.
    std::function<int(int baud)> reopenSerial;
    // The watch buffer: empties the received text.
    std::function<void()> clearReceivedText;
    // The watch buffer's check: 2 when the received text contains waitPattern, 5 when
    // errorPattern is not empty and is contained (5 wins), 0 when neither. Empty: 0.
    std::function<int(const std::string& waitPattern, const std::string& errorPattern)> checkWaitPatterns;
    // A running macro stopped; the argument is its end status (kMacroEndedByItself or
    // kMacroStopped). Runs after the interpreter has reached its idle state.
    std::function<void(int endStatus)> onStopped;
    // The operator answered the box or the input of a statement: the macro can step again.
    std::function<void()> onOperatorAnswered;
};

// The macro interpreter: one macro at a time, advanced one statement per tick of the poll
// timer. Runs on the event-loop thread only.
class CMacroEngine {
public:
    CMacroEngine(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell, Clock& clock, CLogFile& log,
                 MacroHooks hooks);
    ~CMacroEngine();
    CMacroEngine(const CMacroEngine&) = delete;
    CMacroEngine& operator=(const CMacroEngine&) = delete;

    // Uses the terminal's watch buffer for the received text (in place of the two watch hooks),
    // and makes the buffer keep received text exactly while a macro runs.
    void UseWatchBuffer(CWatchBuffer& watch);

    // One step, at the start of every timer tick of the view (any timer id).
    void MacroStep();

    // Opens the macro file and resets the interpreter; the first statement runs on the next
    // tick. 1 when started; 0 when a macro already runs or the file cannot be opened (a modal
    // box with message -20 has then been shown and the running macro is left alone).
    int StartMacro(const std::string& path);
    // Stops the macro (if one runs): idle, macro file closed, a half-sent file abandoned; end
    // status 3 unless the macro ended by itself.
    void StopMacro();
    // StopMacro, then, while a transfer command sent by the macro is still unanswered by the
    // controller's prompt: ETX, the box "LOADorSAVE Interruptted!" with the end status after
    // it, and CR.
    void StopMacroAndReport();
    // Shows text in a box that leaves the terminal running, and stops the macro.
    void ShowMacroMessage(const std::string& utf8Text);

    // -1 no macro, 0 ready for the next statement, 1 a statement in progress. The receive path
    // feeds the watch buffer only while this is 0 or more.
    int RunState() const { return runState_; }
    bool IsRunning() const { return runState_ >= 0; }
    // A box or an input of the current statement, or the box of an interrupted transfer, waits
    // for the operator: no step is due.
    bool AwaitingOperator() const { return awaitingOperator_ || reportPending_; }
    bool IsMacroFileOpen() const { return reader_.IsOpen(); }
    // 1 ended by itself, 3 stopped, 0 before the first macro of the run has ended.
    int EndStatus() const { return endStatus_; }

    // Set when a sendln line was a transfer command; the controller's prompt clears it.
    bool MacroTransferPending() const { return macroTransfer_; }
    void OnControllerPrompt() { macroTransfer_ = false; }

    // sendfile progress: bytes sent of the current file, and the signal raised when a file has
    // been sent to its end.
    size_t SentBytes() const { return sentBytes_; }
    bool FileSent() const { return fileSent_; }
    void ClearFileSent() { fileSent_ = false; }

    bool LogOpenedByMacro() const { return logOpenedByMacro_; }
    const std::string& InputText() const { return inputText_; }

private:
    enum WaitState { kWaitIdle = 0, kWaiting = 1, kWaitFound = 2, kWaitErrorFound = 5 };

    // Executes the current statement; returns true when it stays in progress.
    bool Execute();
    bool DoWait();
    bool DoSleep();
    bool DoSendFile();
    void DoSendLn();
    void DoBaudRate();
    void DoOpenLog();
    void DoModalBox(bool withCancel);
    void DoKeyInput();

    int64_t ElapsedSeconds() const;
    void CloseMacroLog();
    void ClearReceived();
    void AbandonSendFile();

    CPelinDoc& doc_;
    ViewState& view_;
    LinkOps& link_;
    Shell& shell_;
    Clock& clock_;
    CLogFile& log_;
    MacroHooks hooks_;

    CMacroReader reader_;
    bool awaitingOperator_ = false;
    bool reportPending_ = false;
    LifeToken life_;
    int runState_ = -1;
    int endStatus_ = 0;
    std::string line_;  // the line of the current statement, for the error boxes
    MacroStatement statement_;

    std::string errorMessage_;
    std::string errorPattern_;
    std::string repeatText_;
    std::string waitPattern_;
    int waitState_ = kWaitIdle;
    int sleepState_ = 0;

    // The time budget shared by timeout, sleep and wait. Until the first timeout or sleep of
    // the program's run the start counts as infinitely long ago, so a wait fails at once.
    bool startSet_ = false;
    int64_t startMs_ = 0;
    int limitSec_ = 0;

    std::string inputText_;
    bool logOpenedByMacro_ = false;
    bool macroTransfer_ = false;

    std::FILE* sendFile_ = nullptr;
    size_t sentBytes_ = 0;
    bool fileSent_ = false;
};

}  // namespace tavrin

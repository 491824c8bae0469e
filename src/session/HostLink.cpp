#include "session/HostLink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include "app/Cp932.h"
#include "app/Title.h"

namespace tavrin {

namespace {

// Copy data of kinds 1, 3 and text is cut to this many bytes.
constexpr size_t kHostTextMax = 259;
// hostWindow while linked: the host is reached through the channel, not a window.
constexpr intptr_t kLinkedHost = 1;

int32_t ReadLe32(const std::string& data, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(data[at + i])) << (8 * i);
    return static_cast<int32_t>(v);
}

std::string WorkingFolder() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

}  // namespace

std::string CreateEditorTempFile(const std::string& folder) {
    std::random_device seed;
    const unsigned start = seed() & 0xFFFF;
    for (unsigned i = 0; i < 0x10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "sv%X.tmp", (start + i) & 0xFFFF);
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

CHostLink::CHostLink(ViewState& view, CPelinDoc& doc, Shell& shell, std::unique_ptr<HostChannel> channel)
    : view_(view), doc_(doc), shell_(shell), channel_(std::move(channel)) {}

CHostLink::~CHostLink() {
    *alive_ = false;
    CloseChannel();
}

int CHostLink::Attach(const std::string& path) {
    const int rc = channel_->Open(path);
    if (rc != kHostOpened) {
        if (rc != kHostNoSocket && hooks_.printLocal)
            hooks_.printLocal(std::string("Host editor link refused: ") + HostOpenResultText(rc) + ".\n\r");
        return rc;
    }
    view_.hostWindow = kLinkedHost;
    // The terminal's id in every message: its process id.
    view_.mainWindowHandle = static_cast<intptr_t>(::getpid());
    WatchChannel();
    return kHostOpened;
}

void CHostLink::WatchChannel() {
    if (watchedFd_ >= 0 || !channel_->IsOpen()) return;
    watchedFd_ = channel_->Descriptor();
    shell_.WatchDescriptor(watchedFd_, [this] { OnReadable(); });
}

void CHostLink::OnFirstPaint() {
    if (attachedSent_ || !Linked()) return;
    attachedSent_ = true;
    Send(kHostMsgAttached, 0);
}

void CHostLink::Detach() {
    if (Linked()) Send(kHostMsgDetached, view_.terminalNumber);
    CloseChannel();
    detached_ = true;
    DropTyped();
}

void CHostLink::CloseChannel() {
    if (watchedFd_ >= 0) shell_.UnwatchDescriptor(watchedFd_);
    watchedFd_ = -1;
    readingPaused_ = false;
    if (channel_) channel_->Close();
}

void CHostLink::Send(uint32_t message, int64_t lParam, std::string data) {
    if (!Linked() || !channel_->IsOpen()) return;
    HostRecord record{message, static_cast<int64_t>(view_.mainWindowHandle), lParam, std::move(data)};
    // A host that does not take the message in time is treated as gone.
    if (channel_->Send(record) != 0) SetTerminalNumber(0);
}

void CHostLink::OnReadable() {
    std::vector<HostRecord> records;
    const int rc = channel_->Receive(records);
    for (const HostRecord& record : records) Handle(record);
    if (rc != 0 && Linked()) SetTerminalNumber(0);
    if (rc != 0) {
        CloseChannel();
        return;
    }
    // A full queue: the host's further records stay in its socket (its sends block) until the
    // terminal has typed its way down.
    if (watchedFd_ >= 0 && TypedPending() > kHostTypedMax - kHostTypedReserve) {
        shell_.UnwatchDescriptor(watchedFd_);
        watchedFd_ = -1;
        readingPaused_ = true;
    }
}

void CHostLink::Handle(const HostRecord& record) {
    switch (record.message) {
        case kHostMsgNumber: SetTerminalNumber(static_cast<int>(record.wParam)); break;
        case kHostMsgCloseRequest:
            if (hooks_.confirmClose && hooks_.confirmClose()) {
                // Closing destroys the view and this link: not from inside its own handler.
                if (hooks_.closeWindow) shell_.Post(hooks_.closeWindow);
            } else {
                SetTerminalNumber(0);
            }
            break;
        case kHostMsgCopyData: HandleCopyData(record.lParam, record.data); break;
        default: break;  // not a message for the terminal
    }
}

void CHostLink::HandleCopyData(int64_t kind, const std::string& data) {
    const std::string text = data.substr(0, kHostTextMax);
    switch (kind) {
        case kHostKindProgramName: view_.hostProgramName = CutCp932(Utf8ToCp932(text), kHostTextMax); break;
        case kHostKindMove: {
            // A short record has no rectangle to read.
            if (data.size() < 16) break;
            const int left = ReadLe32(data, 0), top = ReadLe32(data, 4);
            const int right = ReadLe32(data, 8), bottom = ReadLe32(data, 12);
            if (hooks_.moveWindow) hooks_.moveWindow(left, top, right - left, bottom - top);
            break;
        }
        case kHostKindDeleteAfter: view_.hostDeleteFile = text; break;
        default: TypeHostText(text); break;
    }
}

void CHostLink::SetTerminalNumber(int n) {
    if (n == 0) {
        view_.hostWindow = 0;
        view_.terminalNumber = 0;
        view_.hostBusy = 0;
        view_.saveForEditorPending = 0;
        view_.hostTypedPending = 0;
        // Unlinking is final for the run.
        CloseChannel();
        if (hooks_.linkChanged) hooks_.linkChanged();
        return;
    }
    view_.terminalNumber = n;
    shell_.SetTitle(NumberedFrameText());
    if (hooks_.linkChanged) hooks_.linkChanged();
}

std::string CHostLink::NumberedFrameText() const {
    return NumberedTitle(view_.terminalNumber, doc_);
}

void CHostLink::TypeHostText(const std::string& utf8) {
    if (!Numbered()) return;
    QueueTyped(CutCp932(Utf8ToCp932(utf8), kHostTextMax));
    view_.hostTypedPending = 1;
    // The host types the commands its editor asks for, loads and saves among them.
    if (hooks_.askTransfer) hooks_.askTransfer(false);
}

void CHostLink::QueueTyped(const std::string& cp932) {
    // The typed front is given back once it is as long as what is left, so a host that keeps
    // the queue from ever running dry still holds it under twice its bound.
    if (typedAt_ > 0 && typedAt_ >= TypedPending()) {
        typed_.erase(0, typedAt_);
        typedAt_ = 0;
    }
    // Reading stops well before this; a host cannot push the queue past it in any case.
    const size_t room = kHostTypedMax - std::min(kHostTypedMax, TypedPending());
    typed_.append(cp932, 0, std::min(room, cp932.size()));
    ScheduleTyping(0);
}

void CHostLink::ScheduleTyping(int delayMs) {
    if (typingScheduled_ || TypedPending() == 0) return;
    typingScheduled_ = true;
    auto turn = [this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired()) return;
        typingScheduled_ = false;
        TypeQueued();
    };
    if (delayMs > 0)
        shell_.PostAfter(delayMs, std::move(turn));
    else
        shell_.Post(std::move(turn));
}

void CHostLink::TypeQueued() {
    // Text taken while numbered is typed even when the host unlinks meanwhile, as a key typed
    // before it would have been; only the end of the terminal drops it.
    if (detached_) {
        DropTyped();
        return;
    }
    size_t typedNow = 0;
    while (TypedPending() > 0 && typedNow < kHostTypedPerTurn &&
           (!hooks_.readyToType || hooks_.readyToType())) {
        const auto c = static_cast<uint8_t>(typed_[typedAt_++]);
        ++typedNow;
        if (hooks_.typeChar) hooks_.typeChar(c);
        if (detached_) return;
    }
    if (TypedPending() == 0) DropTyped();
    if (readingPaused_ && TypedPending() <= kHostTypedResume) {
        readingPaused_ = false;
        WatchChannel();
    }
    // Taking characters: on at the next turn. Not taking them (an Enter waits for its echo, the
    // controller reads nothing): looked at again shortly, without holding the loop.
    ScheduleTyping(typedNow > 0 ? 0 : kHostTypeRetryMs);
}

void CHostLink::DropTyped() {
    typed_.clear();
    typedAt_ = 0;
    if (readingPaused_) {
        readingPaused_ = false;
        WatchChannel();
    }
}

void CHostLink::NotifyHostSaved(const std::string& name) {
    if (!Numbered()) return;
    Send(kHostMsgCopyData, kHostKindSaved, WorkingFolder() + "/" + name);
}

void CHostLink::ReportConnection(int connected) {
    Send(kHostMsgConnection, connected != 0 ? 1 : 0);
}

void CHostLink::ReportAddress(const std::string& ipAddress) {
    Send(kHostMsgCopyData, kHostKindAddress, ipAddress);
}

void CHostLink::ReportBusy(int busy) {
    if (!Linked() || busy == lastBusySent_) return;
    lastBusySent_ = busy;
    Send(kHostMsgBusy, busy);
}

void CHostLink::SaveAndOpenInEditor() {
    if (!Numbered()) return;
    view_.editorTempFile = CreateEditorTempFile(WorkingFolder());
    // The host is told working folder + name: the save must land there, not in the folder of
    // an earlier transfer command.
    if (hooks_.askTransfer) hooks_.askTransfer(true);
    // The line ends in LF, so it goes out as typed characters without the Enter handling: the
    // controller gets SAVE, the program and the file name as they stand.
    // It queues behind what the host has typed, so the two never interleave.
    QueueTyped("SAVE " + view_.hostProgramName + " " + view_.editorTempFile + "\n");
    view_.saveForEditorPending = 1;
}

}  // namespace tavrin

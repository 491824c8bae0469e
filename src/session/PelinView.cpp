#include "session/PelinView.h"

#include <unistd.h>

#include <array>

#include "app/Cp932.h"
#include "app/Globals.h"
#include "session/PelinApp.h"
#include "terminal/DisplayModel.h"

namespace tavrin {

namespace {

constexpr int kPollTimer = 1;
constexpr int kPollPeriodMs = 20;

std::string WorkingFolder() {
    std::array<char, 4096> buffer{};
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return {};
    return buffer.data();
}

ScrollRequest ToRequest(ScrollAction action) {
    switch (action) {
    case ScrollAction::LineUp: return ScrollRequest::LineUp;
    case ScrollAction::LineDown: return ScrollRequest::LineDown;
    case ScrollAction::PageUp: return ScrollRequest::PageUp;
    case ScrollAction::PageDown: return ScrollRequest::PageDown;
    case ScrollAction::ThumbTrack: return ScrollRequest::ThumbTrack;
    default: return ScrollRequest::Other;
    }
}

}  // namespace

struct CPelinView::Parts {
    Parts(CPelinDoc& doc, ViewState& view) : display(doc, view) {}
    CDisplayModel display;
    std::function<void(const uint8_t*)> rowObserver;
    std::function<void()> receptionObserver;
    std::string batchMacro;
    std::function<void(int)> batchFinished;
    bool idleScheduled = false;
    int clientWidth = 0;
    int clientHeight = 0;
};

CPelinView::CPelinView(CPelinApp& app, CPelinDoc& doc, Shell& shell, Clock& clock)
    : app_(app), doc_(doc), shell_(shell), clock_(clock), parts_(std::make_unique<Parts>(doc, *this)) {
    app_.view = this;
}

CPelinView::~CPelinView() = default;

int CPelinView::OnCreate() {
    logFont = LogFont{};
    parts_->display.ResetScroll();
    shell_.SetTimerHandler([this](int id) { OnTimer(id); });
    shell_.StartTimer(kPollTimer, kPollPeriodMs);
    transferFolder.clear();
    startupFolder = WorkingFolder();
    doc_.cursorColumn = 0;
    doc_.cursorRow = 0;
    // The first idle turn loads the menus and opens the start-up connection.
    shell_.Post([this] { OnIdle(); });
    return 0;
}

void CPelinView::OnIdle() {
    parts_->idleScheduled = false;
    if (firstIdlePending) {
        firstIdlePending = 0;
        shell_.MenusChanged();
        shell_.SetTitle(TitleText());
    }
}

void CPelinView::OnTimer(int) {}

void CPelinView::OnChar(uint8_t byte) { SendLinkByte(byte); }

void CPelinView::OnText(const std::string& utf8) {
    for (char c : Utf8ToCp932(utf8)) OnChar(static_cast<uint8_t>(c));
}

void CPelinView::OnArrowKey(ArrowKey key) {
    // The controller's line editor: up 0x0C, down 0x0E, left 0x14, right 0x12.
    static constexpr std::array<uint8_t, 4> kBytes{0x0C, 0x0E, 0x14, 0x12};
    SendLinkByte(kBytes[static_cast<size_t>(key)]);
}

void CPelinView::OnCommand(int) {}

CommandState CPelinView::QueryCommand(int) const { return {}; }

bool CPelinView::ConfirmClose() { return true; }

void CPelinView::OnDestroy() { shell_.StopTimer(kPollTimer); }

void CPelinView::OnResize(int clientWidth, int clientHeight) {
    parts_->clientWidth = clientWidth;
    parts_->clientHeight = clientHeight;
    parts_->display.UpdateGeometry(clientWidth, clientHeight);
    shell_.RequestRepaint();
}

void CPelinView::OnVScroll(ScrollAction action, int thumbPosition) {
    parts_->display.VScroll(ToRequest(action), thumbPosition);
    shell_.RequestRepaint();
}

void CPelinView::OnHScroll(ScrollAction action, int thumbPosition) {
    parts_->display.HScroll(ToRequest(action), thumbPosition);
    shell_.RequestRepaint();
}

void CPelinView::OnFocus(bool focused) {
    parts_->display.SetFocus(focused);
    shell_.UpdateCaret();
}

void CPelinView::SetRowObserver(std::function<void(const uint8_t*)> observer) {
    parts_->rowObserver = std::move(observer);
}

void CPelinView::SetReceptionObserver(std::function<void()> observer) {
    parts_->receptionObserver = std::move(observer);
}

void CPelinView::SetBatchMacro(const std::string& macroFile, std::function<void(int)> onFinished) {
    parts_->batchMacro = macroFile;
    parts_->batchFinished = std::move(onFinished);
}

std::string CPelinView::TitleText() const { return "Tavrin"; }

int CPelinView::ReadLinkByte() { return -1; }
void CPelinView::SendLinkByte(uint8_t) {}
void CPelinView::SendLinkBytes(const uint8_t*, size_t) {}
size_t CPelinView::SendOnSocket(const uint8_t*, size_t) { return 0; }
void CPelinView::PurgeComPort() {}

}  // namespace tavrin

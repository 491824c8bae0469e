#include "link/ConnectionPages.h"

#include "platform/NetworkSerialAddress.h"

#include "app/Language.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <new>
#include <system_error>

#include "link/ConnectionControl.h"

namespace tavrin {

namespace {

constexpr const char* kPortsSection = "Ports";
constexpr const char* kDeviceFolder = "/dev";
constexpr int kMaxTcpPort = 65535;

// The plain decimal conversion of the stored numbers: leading blanks and a sign, then digits up
// to the first other character; no digits give 0. Clamped to the int range.
int DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + 1;
            break;
        }
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

uint8_t StopBitsCode(const std::string& field) {
    return field == "1" ? 0 : field == "1.5" ? 1 : 2;
}

uint8_t ParityCode(const std::string& field) {
    return field == "none" ? 0 : field == "odd" ? 1 : field == "even" ? 2 : field == "mark" ? 3 : 4;
}

template <size_t N>
const char* Choice(const std::array<const char*, N>& choices, int index) {
    if (index < 0 || static_cast<size_t>(index) >= N) return nullptr;
    return choices[static_cast<size_t>(index)];
}

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

int OrderOf(const std::vector<ConnectionEntry>& old, const std::string& item) {
    for (const ConnectionEntry& e : old)
        if (e.Item == item) return e.Order;
    return kNeverUsed;
}

}  // namespace

std::string PageMessageText(PageMessage message, int language) {
    const bool english = language != 0;
    switch (message) {
        case PageMessage::None: return {};
        case PageMessage::AddLimit:
            return english ? "It is not possible to add it any further ! " : "これ以上は追加出来ません。 ";
        case PageMessage::InsertLimit:
            return english ? "It is not possible to insert it any further ! " : "これ以上は挿入出来ません。 ";
        case PageMessage::Duplicate:
            return english ? "It already existed in the list! "
                           : "その組み合わせは、既にリストに存在しています。 ";
        case PageMessage::IpAddress:
            return english ? "Input Error [IP Address] ! " : "IPアドレスを入力して下さい。 ";
        case PageMessage::PortNo:
            return english ? "Input Error [Port No] ! " : "ポート番号を入力して下さい。 ";
        case PageMessage::PortNoRange:
            return english ? "Input Error [Port No] ! (1 - 65535) "
                           : "ポート番号は 1 から 65535 の間で入力して下さい。 ";
        case PageMessage::Name: return english ? "Input Error [Name] ! " : "名称を入力して下さい。 ";
        case PageMessage::NameColon:
            return english ? "Input Error [Name] ! (':' cannot be used) " : "名称に ':' は使用出来ません。 ";
        case PageMessage::SerialPort: return english ? "Input Error [Port] ! " : "ポートを選択して下さい。 ";
        case PageMessage::OutOfMemory: return english ? "Out of memory. " : "メモリが不足しています。 ";
    }
    return {};
}

// Windows lists the COM ports its spooler knows; here a COM number counts when the device the
// serial channel would open for it exists. That is the mapped device of section "Ports" when
// the name has a non-empty mapping there, else /dev/ttyS(n-1). A /dev/ttyUSB* or /dev/ttyACM*
// device therefore counts through its mapping (COM3=/dev/ttyUSB0), since only a mapping gives
// it a COM name.
int HighestPortNumber(const ProfileEntries& ports, const std::function<bool(const std::string&)>& present) {
    for (int n = kMaxListedPort; n >= 1; --n) {
        const std::string name = "COM" + std::to_string(n);
        std::string device;
        for (const auto& [key, value] : ports) {
            if (EqualsIgnoringCase(key, name)) {
                device = value;  // the first line of a key wins, as the settings reader does
                break;
            }
        }
        if (device.empty()) device = "/dev/ttyS" + std::to_string(n - 1);
        if (present && present(device)) return n;
    }
    return 0;
}

int HighestPresentPort(const std::string& profilePath) {
    std::error_code error;
    if (!std::filesystem::is_directory(kDeviceFolder, error)) return 1;
    ProfileEntries ports;
    if (!profilePath.empty()) {
        for (const std::string& key : ReadProfileKeys(profilePath, kPortsSection))
            ports.emplace_back(key, ReadProfileString(profilePath, kPortsSection, key, ""));
    }
    return HighestPortNumber(ports, [](const std::string& device) {
        std::error_code ec;
        return std::filesystem::is_character_file(device, ec);
    });
}

std::vector<std::string> PortChoices(int count) {
    std::vector<std::string> ports;
    count = std::clamp(count, 0, kMaxListedPort);
    ports.reserve(static_cast<size_t>(count));
    for (int n = 1; n <= count; ++n) ports.push_back("COM" + std::to_string(n));
    return ports;
}

std::optional<std::array<uint8_t, 4>> ParseDottedAddress(const std::string& text) {
    std::array<uint8_t, 4> address{};
    size_t field = 0;
    size_t i = 0;
    while (true) {
        int value = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        address[field] = static_cast<uint8_t>(value);
        if (++field == address.size()) break;
        if (i >= text.size() || text[i] != '.') return std::nullopt;
        ++i;
    }
    if (i != text.size()) return std::nullopt;
    return address;
}

std::string FormatDottedAddress(const std::array<uint8_t, 4>& a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

// ---- list ---------------------------------------------------------------------------------

bool CConnectionListModel::Contains(const std::string& text) const {
    return std::find(items_.begin(), items_.end(), text) != items_.end();
}

void CConnectionListModel::SetSelection(int index) {
    selection_ = index >= 0 && static_cast<size_t>(index) < items_.size() ? index : -1;
}

void CConnectionListModel::SetItems(std::vector<std::string> items) {
    items_ = std::move(items);
    selection_ = -1;
}

void CConnectionListModel::Append(const std::string& text) {
    items_.push_back(text);
    selection_ = static_cast<int>(items_.size()) - 1;
}

bool CConnectionListModel::InsertBeforeSelection(const std::string& text) {
    if (selection_ < 0) return false;
    items_.insert(items_.begin() + selection_, text);
    return true;  // the new item now sits at the selected index
}

bool CConnectionListModel::ReplaceSelection(const std::string& text) {
    if (selection_ < 0) return false;
    items_[static_cast<size_t>(selection_)] = text;
    return true;
}

void CConnectionListModel::DeleteSelection() {
    if (selection_ >= 0) items_.erase(items_.begin() + selection_);
    selection_ = -1;
}

// ---- serial page --------------------------------------------------------------------------

CComPageModel::CComPageModel(int portCount) : ports_(PortChoices(portCount)) {
    RebuildLabels();
}

void CComPageModel::ExtendPortsTo(int n) {
    if (n > static_cast<int>(ports_.size())) ports_ = PortChoices(n);
    RebuildLabels();
}

void CComPageModel::UseSerialPorts(std::vector<SerialPortInfo> present, std::string profilePath) {
    present_ = std::move(present);
    profilePath_ = std::move(profilePath);
    rows_ = BuildSerialPortRows(present_, ReadPortMappings(profilePath_));
    // The list reaches the highest COM name that stands for something (a device present, a
    // mapping) or that a saved connection names; ttyS nodes without a UART add nothing.
    int highest = savedHighest_;
    for (const SerialPortRow& row : rows_) highest = std::max(highest, ComPortNumber(row.comName));
    ports_ = PortChoices(highest);
    if (list.Selection() >= 0) {
        LoadText(list.Items()[static_cast<size_t>(list.Selection())]);
    } else if (controls.port >= static_cast<int>(ports_.size())) {
        controls.port = ports_.empty() ? -1 : 0;
    }
    RebuildLabels();
}

void CComPageModel::RebuildLabels() {
    labels_ = ports_;
    unnamed_.clear();
    if (!rows_.empty() || !present_.empty() || !profilePath_.empty()) AddDeviceLabels();
    labels_.insert(labels_.end(), network_.begin(), network_.end());
    labels_.emplace_back(CurrentLanguage() != 0 ? "Network serial port\xE2\x80\xA6"
                                                : "ネットワークシリアルポート\xE2\x80\xA6");
}

bool CComPageModel::AddNetworkPort(const std::string& address) {
    std::string path = address;
    while (!path.empty() && path.back() == ' ') path.pop_back();
    while (!path.empty() && path.front() == ' ') path.erase(0, 1);
    if (!IsNetworkSerialPath(path)) path = kNetworkSerialScheme + path;
    NetworkSerialAddress parsed;
    if (!ParseNetworkSerialPath(path, parsed)) return false;
    auto known = std::find(network_.begin(), network_.end(), path);
    if (known == network_.end()) {
        network_.push_back(path);
        RebuildLabels();
        known = network_.end() - 1;
    }
    controls.port = NetworkChoiceIndex() - static_cast<int>(network_.end() - known);
    return true;
}

void CComPageModel::AddDeviceLabels() {
    for (size_t i = 0; i < ports_.size(); ++i) {
        auto row = std::find_if(rows_.begin(), rows_.end(),
                                [&](const SerialPortRow& r) { return r.comName == ports_[i]; });
        if (row != rows_.end()) {
            labels_[i] = PortRowLabel(*row, CurrentLanguage());
        } else {
            // No mapping and no UART at /dev/ttyS(n-1): nothing stands behind the name.
            SerialPortRow absent;
            absent.comName = ports_[i];
            absent.mapping = "/dev/ttyS" + std::to_string(i);
            labels_[i] = PortRowLabel(absent, CurrentLanguage());
        }
    }
    for (const SerialPortRow& row : rows_) {
        if (!row.comName.empty()) continue;
        unnamed_.push_back(row);
        labels_.push_back(PortRowLabel(row, CurrentLanguage()));
    }
}

bool CComPageModel::ChoosePort(int index) {
    if (index < 0 || index >= NetworkChoiceIndex()) return false;
    if (static_cast<size_t>(index) < ports_.size() ||
        static_cast<size_t>(index) >= ports_.size() + unnamed_.size()) {
        controls.port = index;
        return true;
    }
    const SerialPortRow& row = unnamed_[static_cast<size_t>(index) - ports_.size()];
    const int n = AssignComName(profilePath_, rows_, row);
    if (n <= 0) return false;
    UseSerialPorts(present_, profilePath_);
    if (n > static_cast<int>(ports_.size())) {
        ports_ = PortChoices(n);
        RebuildLabels();
    }
    controls.port = n - 1;
    return true;
}

void CComPageModel::Open(std::vector<std::string> items) {
    for (const std::string& item : items) {
        const std::vector<std::string> f = SplitFields(item, ":");
        if (f.size() == 5) {
            savedHighest_ = std::max(savedHighest_, ComPortNumber(f[0]));
            ExtendPortsTo(ComPortNumber(f[0]));
        }
    }
    list.SetItems(std::move(items));
    controls = ComControls{};
    if (ports_.empty()) controls.port = -1;
    Select(0);
}

void CComPageModel::Select(int index) {
    list.SetSelection(index);
    if (list.Selection() >= 0) LoadText(list.Items()[static_cast<size_t>(list.Selection())]);
}

void CComPageModel::LoadText(const std::string& text) {
    std::vector<std::string> f = SplitFields(text, ":");
    std::string path, frame;
    const bool network = SplitNetworkSerialText(text, path, frame);
    if (network) {
        f = SplitFields(frame, ":");
        f.insert(f.begin(), path);
    }
    if (f.size() != 5) return;
    const int port = ComPortNumber(f[0]);
    // A port outside the list shows no port rather than another one.
    controls.port = port >= 1 && port <= static_cast<int>(ports_.size()) ? port - 1 : -1;
    if (network) AddNetworkPort(path);
    // Any baud text not in the list shows the last choice (256000), as stop bits and parity do.
    controls.baud = static_cast<int>(kBaudChoices.size()) - 1;
    for (size_t i = 0; i < kBaudChoices.size(); ++i)
        if (f[1] == kBaudChoices[i]) controls.baud = static_cast<int>(i);
    // Data bits beyond 4 ... 8 show 8, the last choice, instead of no choice at all.
    controls.dataBits = static_cast<int>(kDataBitsChoices.size()) - 1;
    for (size_t i = 0; i < kDataBitsChoices.size(); ++i)
        if (f[2] == kDataBitsChoices[i]) controls.dataBits = static_cast<int>(i);
    controls.stopBits = StopBitsCode(f[3]);
    controls.parity = ParityCode(f[4]);
}

std::string CComPageModel::BuildText() const {
    const char* baud = Choice(kBaudChoices, controls.baud);
    const char* dataBits = Choice(kDataBitsChoices, controls.dataBits);
    const char* stopBits = Choice(kStopBitsChoices, controls.stopBits);
    const char* parity = Choice(kParityChoices, controls.parity);
    const size_t networkFirst = ports_.size() + unnamed_.size();
    const size_t at = static_cast<size_t>(controls.port);
    const bool onNetwork = controls.port >= 0 && at >= networkFirst && at - networkFirst < network_.size();
    if (controls.port < 0 || (at >= ports_.size() && !onNetwork) || !baud || !dataBits || !stopBits ||
        !parity)
        return {};
    return (onNetwork ? network_[at - networkFirst] : ports_[at]) + ":" + baud + ":" + dataBits + ":" +
           stopBits + ":" + parity;
}

PageMessage CComPageModel::Add(bool listFull) {
    if (listFull) return PageMessage::AddLimit;
    const std::string text = BuildText();
    if (text.empty()) return PageMessage::SerialPort;
    if (list.Contains(text)) return PageMessage::Duplicate;
    list.Append(text);
    return PageMessage::None;
}

PageMessage CComPageModel::Insert(bool listFull) {
    if (listFull) return PageMessage::InsertLimit;
    const std::string text = BuildText();
    if (text.empty()) return PageMessage::SerialPort;
    if (list.Contains(text)) return PageMessage::Duplicate;
    list.InsertBeforeSelection(text);
    return PageMessage::None;
}

PageMessage CComPageModel::Edit() {
    const std::string text = BuildText();
    if (text.empty()) return PageMessage::SerialPort;
    // Editing into a text the list already holds (the item itself included) does nothing.
    if (list.Contains(text)) return PageMessage::None;
    list.ReplaceSelection(text);
    return PageMessage::None;
}

// ---- TCP/IP page --------------------------------------------------------------------------

void CTcpPageModel::Open(std::vector<std::string> items) {
    list.SetItems(std::move(items));
    controls = TcpControls{};
    Select(0);
}

void CTcpPageModel::Select(int index) {
    list.SetSelection(index);
    if (list.Selection() >= 0) LoadText(list.Items()[static_cast<size_t>(list.Selection())]);
}

void CTcpPageModel::LoadText(const std::string& text) {
    const std::vector<std::string> f = SplitFields(text, ":");
    if (f.size() != 3) return;
    controls.address = ParseDottedAddress(f[0]);
    controls.port = f[1];
    controls.name = f[2];
}

PageMessage CTcpPageModel::BuildText(std::string* text) const {
    if (!controls.address) return PageMessage::IpAddress;
    if (controls.port.empty()) return PageMessage::PortNo;
    // The port entry takes digits only; the number must be one a socket can connect to.
    const bool digits = controls.port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || controls.port.size() > 5 || DecimalValue(controls.port) < 1 ||
        DecimalValue(controls.port) > kMaxTcpPort)
        return PageMessage::PortNoRange;
    // Blanks around the name would not survive the settings file, which trims values.
    const std::string name = Trimmed(controls.name);
    if (name.empty()) return PageMessage::Name;
    if (name.find(':') != std::string::npos) return PageMessage::NameColon;
    // A line break or other control character cannot be stored in the settings file either.
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) return PageMessage::Name;
    if (text) *text = FormatDottedAddress(*controls.address) + ":" + controls.port + ":" + name;
    return PageMessage::None;
}

PageMessage CTcpPageModel::Add(bool listFull) {
    if (listFull) return PageMessage::AddLimit;
    std::string text;
    if (PageMessage m = BuildText(&text); m != PageMessage::None) return m;
    if (list.Contains(text)) return PageMessage::Duplicate;
    list.Append(text);
    return PageMessage::None;
}

PageMessage CTcpPageModel::Insert(bool listFull) {
    if (listFull) return PageMessage::InsertLimit;
    std::string text;
    if (PageMessage m = BuildText(&text); m != PageMessage::None) return m;
    if (list.Contains(text)) return PageMessage::Duplicate;
    list.InsertBeforeSelection(text);
    return PageMessage::None;
}

PageMessage CTcpPageModel::Edit() {
    std::string text;
    if (PageMessage m = BuildText(&text); m != PageMessage::None) return m;
    if (list.Contains(text)) return PageMessage::None;
    list.ReplaceSelection(text);
    return PageMessage::None;
}

// ---- Options dialog -----------------------------------------------------------------------

int COptionsModel::rememberedTab = 0;

COptionsModel::COptionsModel(const std::vector<ConnectionEntry>& connections, int highestPort)
    : com(highestPort), old_(connections) {
    std::vector<std::string> serialItems, tcpItems;
    for (const ConnectionEntry& e : connections) (e.IsTcp == 0 ? serialItems : tcpItems).push_back(e.Item);
    com.Open(std::move(serialItems));
    tcp.Open(std::move(tcpItems));
}

bool COptionsModel::ListFull() const {
    // The pages' items are what the OK will store, so the limit counts them as they are now:
    // counting the list as it was at opening let one opening add entries the store then drops.
    return com.list.Items().size() + tcp.list.Items().size() >= static_cast<size_t>(kConnectionListLimit);
}

PageMessage COptionsModel::Press(OptionsPage page, PageButton button) {
    const bool full = ListFull();
    if (page == OptionsPage::Com) {
        switch (button) {
            case PageButton::Add: return com.Add(full);
            case PageButton::Insert: return com.Insert(full);
            case PageButton::Edit: return com.Edit();
            case PageButton::Delete: com.Delete(); return PageMessage::None;
        }
    } else {
        switch (button) {
            case PageButton::Add: return tcp.Add(full);
            case PageButton::Insert: return tcp.Insert(full);
            case PageButton::Edit: return tcp.Edit();
            case PageButton::Delete: tcp.Delete(); return PageMessage::None;
        }
    }
    return PageMessage::None;
}

ConnectionEntry SerialEntryFromText(const std::string& text) {
    ConnectionEntry e;
    e.IsTcp = 0;
    e.Item = text;
    const std::vector<std::string> f = SplitFields(text, ":");
    if (f.size() != 5) return e;
    e.ComPort = DecimalValue(f[0].size() > 3 ? f[0].substr(3) : std::string());
    e.Baud = DecimalValue(f[1]);
    e.DataBits = static_cast<uint8_t>(DecimalValue(f[2]));
    e.StopBits = StopBitsCode(f[3]);
    e.Parity = ParityCode(f[4]);
    return e;
}

ConnectionEntry TcpEntryFromText(const std::string& text) {
    ConnectionEntry e;
    e.IsTcp = 1;
    e.Item = text;
    const std::vector<std::string> f = SplitFields(text, ":");
    if (f.size() != 3) return e;
    e.Ip = f[0];
    e.TcpPort = DecimalValue(f[1]);
    e.TcpName = f[2];
    return e;
}

std::vector<ConnectionEntry> COptionsModel::BuildConnections() const {
    std::vector<ConnectionEntry> list;
    list.reserve(com.list.Items().size() + tcp.list.Items().size());
    for (const std::string& item : com.list.Items()) list.push_back(SerialEntryFromText(item));
    for (const std::string& item : tcp.list.Items()) list.push_back(TcpEntryFromText(item));
    for (ConnectionEntry& e : list) e.Order = OrderOf(old_, e.Item);
    return list;
}

PageMessage COptionsModel::Accept(std::vector<ConnectionEntry>& connections) const {
    try {
        std::vector<ConnectionEntry> list = BuildConnections();
        connections.swap(list);
    } catch (const std::bad_alloc&) {
        return PageMessage::OutOfMemory;
    }
    return PageMessage::None;
}

// ---- Select Connection dialog -------------------------------------------------------------

int SelectConnection(CPelinDoc& doc, int selection) {
    if (selection < 0 || static_cast<size_t>(selection) >= doc.connections.size()) return -1;
    // A copy: MarkItemUsed reorders the list the text came from.
    const std::string text = doc.connections[static_cast<size_t>(selection)].Item;
    ApplyConnectionText(doc, text);
    MarkItemUsed(doc.connections, text);
    return 0;
}

}  // namespace tavrin

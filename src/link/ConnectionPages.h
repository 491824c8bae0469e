#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ConnectionEntry.h"
#include "app/IniFile.h"
#include "app/PelinDoc.h"
#include "link/SerialPortList.h"

namespace tavrin {

// The rules behind the Options dialog (a serial page and a TCP/IP page that edit lists of
// connection texts) and the Select Connection dialog. The widgets only show these models and
// pass the user's choices in; every check and every text the dialogs build is made here.

// The choices of the serial page's combo boxes, in order, with their default indices.
inline constexpr std::array<const char*, 14> kBaudChoices = {"110",   "300",    "600",    "1200",  "2400",
                                                             "4800",  "9600",   "14400",  "19200", "38400",
                                                             "57600", "115200", "128000", "256000"};
inline constexpr std::array<const char*, 5> kDataBitsChoices = {"4", "5", "6", "7", "8"};
inline constexpr std::array<const char*, 3> kStopBitsChoices = {"1", "1.5", "2"};
inline constexpr std::array<const char*, 5> kParityChoices = {"none", "odd", "even", "mark", "space"};
inline constexpr int kDefaultPortIndex = 0;
inline constexpr int kDefaultBaudIndex = 6;      // 9600
inline constexpr int kDefaultDataBitsIndex = 4;  // 8
inline constexpr int kDefaultStopBitsIndex = 2;  // 2
inline constexpr int kDefaultParityIndex = 0;    // none

// Defaults of the TCP/IP page.
inline constexpr std::array<uint8_t, 4> kDefaultTcpAddress = {127, 0, 0, 1};
inline constexpr const char* kDefaultTcpPort = "23";
inline constexpr const char* kDefaultTcpName = "----";

// The connection list keeps at most this many entries: the store writes no more, so the pages
// refuse to add beyond it.
inline constexpr int kConnectionListLimit = kRecencyEntries;
// The port list never reaches beyond COM256, whatever the settings file maps.
inline constexpr int kMaxListedPort = 256;

// What a page asks the dialog to show after a button; None shows nothing.
enum class PageMessage {
    None,
    AddLimit,     // Add refused: the list is full
    InsertLimit,  // Insert refused: the list is full
    Duplicate,    // the text is already in the page's list
    IpAddress,    // the address entry is blank or not a complete address
    PortNo,       // the port entry is empty
    PortNoRange,  // the port is not a number from 1 to 65535
    Name,         // the name entry is empty
    NameColon,    // the name holds ':', which would split the connection text
    SerialPort,   // no serial port is chosen (the port list is empty)
    OutOfMemory,  // the new connection list could not be built
};

// The message's text (UTF-8) in language (1 English, 0 Japanese); empty for None.
std::string PageMessageText(PageMessage message, int language);

// The highest COM number that names a serial device present: COMn stands for the device the
// settings file's section "Ports" maps it to, or for /dev/ttyS(n-1) when it has no mapping (as
// the serial channel opens it). ports holds the section's keys and values; present tells whether
// a device exists. 0 when no COM number up to kMaxListedPort names a present device.
int HighestPortNumber(const ProfileEntries& ports,
                      const std::function<bool(const std::string& device)>& present);
// The same over the real section "Ports" of profilePath and the character devices present; 1 when
// the device folder cannot be read at all.
int HighestPresentPort(const std::string& profilePath);

// "COM1" ... "COM" + count.
std::vector<std::string> PortChoices(int count);

// "a.b.c.d" with four decimal numbers 0 ... 255, or nothing (a blank or incomplete address).
std::optional<std::array<uint8_t, 4>> ParseDottedAddress(const std::string& text);
std::string FormatDottedAddress(const std::array<uint8_t, 4>& address);

// The list box of a page: item texts and the selected index (-1: none).
class CConnectionListModel {
public:
    const std::vector<std::string>& Items() const { return items_; }
    int Selection() const { return selection_; }
    bool Contains(const std::string& text) const;
    // Selects index; any index outside the list selects nothing.
    void SetSelection(int index);
    void SetItems(std::vector<std::string> items);

    // Appends text and selects it.
    void Append(const std::string& text);
    // Inserts text before the selected item and selects it; false (nothing inserted) without a
    // selection.
    bool InsertBeforeSelection(const std::string& text);
    // Replaces the selected item; false without a selection.
    bool ReplaceSelection(const std::string& text);
    // Removes the selected item; nothing is selected afterwards.
    void DeleteSelection();

private:
    std::vector<std::string> items_;
    int selection_ = -1;
};

// The indices of the serial page's combo boxes; -1 means no choice shown.
struct ComControls {
    int port = kDefaultPortIndex;
    int baud = kDefaultBaudIndex;
    int dataBits = kDefaultDataBitsIndex;
    int stopBits = kDefaultStopBitsIndex;
    int parity = kDefaultParityIndex;
};

// The serial page: connection texts "COM1:9600:8:2:none" built from the combo boxes.
class CComPageModel {
public:
    // The port list holds COM1 ... COM + portCount (0 to kMaxListedPort).
    explicit CComPageModel(int portCount = 0);

    CConnectionListModel list;
    ComControls controls;

    const std::vector<std::string>& Ports() const { return ports_; }
    // Makes sure the port list reaches COMn (n up to kMaxListedPort), so a saved connection on
    // a port this machine lacks still shows its port.
    void ExtendPortsTo(int n);

    // Fills the list, selects the first item and loads it, or sets the default indices.
    void Open(std::vector<std::string> items);
    // A selection change of the list: selects index and loads the selected text.
    void Select(int index);
    // The devices present and the settings file whose [Ports] names them: the port list then
    // runs to the highest COM name that stands for a device present, that the file maps or
    // that a saved connection names (no longer to the count given at construction), and
    // PortLabels() describes each port.
    void UseSerialPorts(std::vector<SerialPortInfo> present, std::string profilePath);
    // What the port list shows: for COM1 ... COMn "COM3 — description — /dev/ttyUSB0" (absent
    // ones marked), then one entry per present device no COM name stands for yet, then the
    // network serial ports ("rfc2217://HOST:PORT") loaded or added, then "Network serial port…".
    const std::vector<std::string>& PortLabels() const { return labels_; }
    // The user chose entry index of PortLabels(). A device without a COM name gets the next
    // free one, written to [Ports] (its by-id name where it has one); the port list grows to
    // show it. Afterwards controls.port is the chosen COM port's index. False when a new
    // device could not be given a name (the file cannot be written): the choice is unchanged.
    bool ChoosePort(int index);
    const std::vector<SerialPortRow>& PortRows() const { return rows_; }
    // The index of the last entry, "Network serial port…": choosing it asks for an address
    // (ChoosePort refuses it).
    int NetworkChoiceIndex() const { return static_cast<int>(labels_.size()) - 1; }
    // The user gave an address for a network serial port: "HOST:PORT" or "rfc2217://HOST:PORT"
    // (IPv6 in brackets). It joins the port list and is chosen. False (nothing changed) for a
    // text that is not such an address.
    bool AddNetworkPort(const std::string& address);

    // Loads a serial text into the combo indices; a text without five fields changes nothing.
    void LoadText(const std::string& text);
    // The text shown by the combo boxes; empty when one shows no choice.
    std::string BuildText() const;

    // The buttons. listFull says whether the connection list has reached its limit.
    PageMessage Add(bool listFull);
    PageMessage Insert(bool listFull);
    PageMessage Edit();
    void Delete() { list.DeleteSelection(); }

private:
    void RebuildLabels();
    void AddDeviceLabels();
    std::vector<std::string> ports_;
    std::vector<std::string> labels_;
    std::vector<SerialPortInfo> present_;
    std::string profilePath_;
    std::vector<SerialPortRow> rows_;
    std::vector<SerialPortRow> unnamed_;  // present devices without a COM name, in label order
    std::vector<std::string> network_;    // network serial ports, in label order
    int savedHighest_ = 0;                // the highest COM number a saved connection names
};

// What the TCP/IP page's entries hold. address is empty while the address entry is blank (or
// holds no complete address); port and name are the entries' texts (UTF-8).
struct TcpControls {
    std::optional<std::array<uint8_t, 4>> address = kDefaultTcpAddress;
    std::string port = kDefaultTcpPort;
    std::string name = kDefaultTcpName;
};

// The TCP/IP page: connection texts "192.168.0.2:23:Robot1" built from the entries.
class CTcpPageModel {
public:
    CConnectionListModel list;
    TcpControls controls;

    void Open(std::vector<std::string> items);
    void Select(int index);
    // Loads a TCP/IP text into the entries; a text without three fields changes nothing, an
    // address that is not four numbers 0 ... 255 leaves the address entry blank.
    void LoadText(const std::string& text);
    // Checks the entries in order (address, port, name) and builds the text into *text.
    PageMessage BuildText(std::string* text) const;

    PageMessage Add(bool listFull);
    PageMessage Insert(bool listFull);
    PageMessage Edit();
    void Delete() { list.DeleteSelection(); }
};

enum class OptionsPage { Com = 0, Tcp = 1 };
enum class PageButton { Add, Insert, Edit, Delete };

// The Options dialog: both pages over the document's connection list.
class COptionsModel {
public:
    // highestPort is the port list's length (HighestPresentPort); the port list is extended to
    // the highest port a saved serial connection names.
    COptionsModel(const std::vector<ConnectionEntry>& connections, int highestPort);

    CComPageModel com;
    CTcpPageModel tcp;

    // Whether the two pages together hold as many items as the connection list can keep.
    bool ListFull() const;
    // A page's button with the controls as they are now.
    PageMessage Press(OptionsPage page, PageButton button);

    // The connection list the OK builds: serial items first, then TCP/IP items, in list order;
    // each keeps the recency of the first old entry with the same text, or 999.
    std::vector<ConnectionEntry> BuildConnections() const;
    // The OK: replaces doc.connections. OutOfMemory leaves the list as it was.
    PageMessage Accept(std::vector<ConnectionEntry>& connections) const;

    // The tab shown at opening: the last one chosen in this process (the serial tab at start).
    static int rememberedTab;

private:
    std::vector<ConnectionEntry> old_;
};

// One connection entry parsed from a page's text. Texts that do not split into the page's
// field count give empty texts and zero numbers.
ConnectionEntry SerialEntryFromText(const std::string& text);
ConnectionEntry TcpEntryFromText(const std::string& text);

// The Select Connection dialog's OK for the item at selection of the connection list: sets the
// document's connection from its text and marks it used. -1 (nothing done) when selection names
// no entry.
int SelectConnection(CPelinDoc& doc, int selection);

}  // namespace tavrin

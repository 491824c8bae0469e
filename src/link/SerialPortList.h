#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/IniFile.h"
#include "platform/SerialPortEnumerator.h"

namespace tavrin {

// The serial ports as the user sees them: COM names (kept so connection texts and settings
// files move between machines unchanged) joined with the devices present.

// One port of the list: a COM name with the device it stands for, or a device present that no
// COM name stands for yet.
struct SerialPortRow {
    std::string comName;   // "COM3"; empty for a device no COM name maps yet
    std::string mapping;   // what the COM name stands for: the [Ports] value, else /dev/ttyS(n-1)
    bool present = false;  // whether the device is there
    SerialPortInfo info;   // the device's names and description (present rows only)
};

// Resolves a path to the device node it names (follows symlinks such as the by-id names);
// returns the path itself when it cannot be resolved.
using DevicePathResolver = std::function<std::string(const std::string& path)>;
std::string ResolveDevicePath(const std::string& path);

// The section "Ports" of profilePath, key by key in file order (a key repeated keeps its first
// value, as the settings reader does).
ProfileEntries ReadPortMappings(const std::string& profilePath);

// Builds the list: every COM name of ports (present or absent), then every COMn whose
// /dev/ttyS(n-1) is present without a mapping, in COM number order; then the devices present
// that no COM name stands for, in device order. A mapping stands for a device when it names the
// device node or its by-id name, or resolves to the node.
std::vector<SerialPortRow> BuildSerialPortRows(const std::vector<SerialPortInfo>& present,
                                               const ProfileEntries& ports,
                                               const DevicePathResolver& resolve = ResolveDevicePath);

// n of "COMn" (digits only after "COM", 1 ... 9999), or 0. lowerCaseToo also takes "comn", as
// the keys of section "Ports" may be written.
int ComPortNumber(const std::string& name, bool lowerCaseToo = false);

// The smallest n >= 1 such that COMn neither is mapped in ports nor stands for a present
// /dev/ttyS(n-1) of rows.
int NextFreeComNumber(const std::vector<SerialPortRow>& rows, const ProfileEntries& ports);

// "FTDI FT232R USB UART A50285BI": vendor, model and serial number; the driver when none is known.
std::string DescribePort(const SerialPortInfo& info);

// The row as the dialogs show it (UTF-8): "COM3 — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0";
// an absent COM name "COM5 — (absent) — /dev/serial/by-id/…"; a device without a COM name
// "(new) — FTDI … — /dev/ttyUSB1". language 1 English, 0 Japanese.
std::string PortRowLabel(const SerialPortRow& row, int language);

// The row as `tavrin --list-ports` prints it: COM name, device, stable name and description,
// separated by tabs, "-" for what is unknown or missing; an absent COM name shows its mapping
// as the stable name and "(absent)" as description.
std::string PortRowListLine(const SerialPortRow& row);

// Gives the device of row the next free COM number: writes COMn=<by-id name, else the device>
// into the section "Ports" of profilePath. Returns n, or 0 when the row already has a COM name,
// is absent, or the file cannot be written.
int AssignComName(const std::string& profilePath, const std::vector<SerialPortRow>& rows,
                  const SerialPortRow& row);

// A connection text's port field for a device path that holds ':' cannot be written; the line
// (UTF-8, current language) that says so and names the by-id folder.
std::string ColonPathRefusal(const std::string& path);

// A connection text as the Select Connection list shows it: a serial text whose COM name is in
// rows gets the device's description and node, or "(absent)"; other texts stand as they are.
std::string ConnectionItemLabel(const std::string& item, const std::vector<SerialPortRow>& rows,
                                int language);

// Where the program finds the serial devices present (the front ends set the udev enumerator
// at start; tests set a fake). Null: none known, the list holds the [Ports] names only.
void SetSerialPortEnumerator(SerialPortEnumerator* enumerator);
SerialPortEnumerator* CurrentSerialPortEnumerator();
// The settings file in force, for the dialogs that show and write [Ports].
void SetSerialPortProfile(std::function<std::string()> profilePath);
std::string CurrentSerialPortProfile();

// The devices the current enumerator sees (none without one).
std::vector<SerialPortInfo> PresentSerialPorts();
// The list over the real settings file and the current enumerator.
std::vector<SerialPortRow> ListSerialPorts(const std::string& profilePath);

}  // namespace tavrin

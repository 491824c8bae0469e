#include "platform/linux/UdevSerialPorts.h"

#include <libudev.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace tavrin {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

std::string Text(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

// udev encodes blanks in model names as '_' in ID_MODEL; the database names are proper text.
std::string Property(udev_device* device, const char* name) {
    return Text(udev_device_get_property_value(device, name));
}

std::string Underscores(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

// Legacy ttyS ports: the 8250 driver creates a node per possible port; only those whose UART
// was found report a type other than 0 in sysfs.
bool HasUart(udev_device* device) {
    const std::string sysname = Text(udev_device_get_sysname(device));
    if (sysname.rfind("ttyS", 0) != 0) return true;
    std::ifstream type(Text(udev_device_get_syspath(device)) + "/type");
    int value = 0;
    if (!(type >> value)) return false;
    return value != 0;
}

}  // namespace

CUdevSerialPorts::~CUdevSerialPorts() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (context_ != nullptr) udev_unref(context_);
}

int CUdevSerialPorts::EventDescriptor() {
    if (monitor_ == nullptr) {
        if (context_ == nullptr) context_ = udev_new();
        if (context_ == nullptr) return -1;
        monitor_ = udev_monitor_new_from_netlink(context_, "udev");
        if (monitor_ == nullptr) return -1;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
            return -1;
        }
    }
    return udev_monitor_get_fd(monitor_);
}

std::vector<SerialPortEvent> CUdevSerialPorts::TakeEvents() {
    std::vector<SerialPortEvent> events;
    if (monitor_ == nullptr) return events;
    // The monitor's socket is non-blocking: receive returns null when nothing waits.
    while (udev_device* raw = udev_monitor_receive_device(monitor_)) {
        std::unique_ptr<udev_device, UdevDeleter> device(raw);
        const std::string action = Text(udev_device_get_action(raw));
        const std::string node = Text(udev_device_get_devnode(raw));
        if (node.empty() || (action != "add" && action != "remove")) continue;
        SerialPortEvent event;
        event.added = action == "add";
        event.device = node;
        for (udev_list_entry* link = udev_device_get_devlinks_list_entry(raw); link != nullptr;
             link = udev_list_entry_get_next(link))
            event.links.push_back(Text(udev_list_entry_get_name(link)));
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<SerialPortInfo> CUdevSerialPorts::ListPorts() {
    std::vector<SerialPortInfo> ports;
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) return ports;
    std::unique_ptr<udev_enumerate, UdevDeleter> scan(udev_enumerate_new(context.get()));
    if (!scan) return ports;
    udev_enumerate_add_match_subsystem(scan.get(), "tty");
    udev_enumerate_scan_devices(scan.get());
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(scan.get()); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
        std::unique_ptr<udev_device, UdevDeleter> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device) continue;
        // Virtual terminals, ptys and the console have no parent device with a driver.
        udev_device* parent = udev_device_get_parent(device.get());
        if (parent == nullptr) continue;
        const std::string node = Text(udev_device_get_devnode(device.get()));
        if (node.empty() || !HasUart(device.get())) continue;
        SerialPortInfo info;
        info.device = node;
        for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device.get()); link != nullptr;
             link = udev_list_entry_get_next(link)) {
            const std::string name = Text(udev_list_entry_get_name(link));
            if (name.rfind("/dev/serial/by-id/", 0) == 0) info.stableName = name;
        }
        info.vendor = Property(device.get(), "ID_VENDOR_FROM_DATABASE");
        if (info.vendor.empty()) info.vendor = Underscores(Property(device.get(), "ID_VENDOR"));
        info.model = Property(device.get(), "ID_MODEL_FROM_DATABASE");
        if (info.model.empty()) info.model = Underscores(Property(device.get(), "ID_MODEL"));
        info.serial = Property(device.get(), "ID_SERIAL_SHORT");
        // The driver sits on the nearest parent that has one (the USB interface for adapters).
        // The serial core's own devices ("port", "ctrl") say nothing about the hardware.
        for (udev_device* p = parent; p != nullptr && info.driver.empty(); p = udev_device_get_parent(p)) {
            const std::string driver = Text(udev_device_get_driver(p));
            if (driver != "port" && driver != "ctrl") info.driver = driver;
        }
        ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.device < b.device; });
    return ports;
}

}  // namespace tavrin

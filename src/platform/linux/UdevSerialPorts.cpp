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

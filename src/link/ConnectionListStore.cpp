#include "link/ConnectionListStore.h"

#include <climits>
#include <new>

#include "app/IniFile.h"

namespace tavrin {

namespace {

std::string SectionName(int index) {
    return "Connection" + std::to_string(index);
}

}  // namespace

int DecimalValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int LoadConnectionList(CPelinDoc& doc, const std::string& profilePath) {
    // One reading of the file for the whole list.
    const CProfileReader profile(profilePath);
    int count = DecimalValue(profile.String(kConnectionsSection, "Total", "0"));
    if (count > kMaxStoredConnections) count = kMaxStoredConnections;
    if (count < 0) count = 0;
    doc.connections.clear();
    try {
        doc.connections.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const std::string section = SectionName(i);
            auto text = [&](const char* key) { return profile.String(section, key, ""); };
            auto number = [&](const char* key) { return DecimalValue(text(key)); };
            ConnectionEntry e;
            e.IsTcp = number("IsTcp");
            e.Order = number("Order");
            e.Item = text("Item");
            e.TcpName = text("TcpName");
            e.Ip = text("Ip");
            e.TcpPort = number("TcpPort");
            e.ComPort = number("ComPort");
            e.Baud = number("Baud");
            e.DataBits = static_cast<uint8_t>(number("DataBits"));
            e.StopBits = static_cast<uint8_t>(number("StopBits"));
            e.Parity = static_cast<uint8_t>(number("Parity"));
            doc.connections.push_back(std::move(e));
        }
    } catch (const std::bad_alloc&) {
        // Out of memory: the entries read so far stay in the list.
    }
    return static_cast<int>(doc.connections.size());
}

bool SaveConnectionList(const CPelinDoc& doc, const std::string& profilePath) {
    int count = static_cast<int>(doc.connections.size());
    if (count > kMaxStoredConnections) count = kMaxStoredConnections;
    ProfileSections sections;
    sections.push_back({kConnectionsSection, {{"Total", std::to_string(count)}}});
    for (int i = 0; i < count; ++i) {
        const ConnectionEntry& e = doc.connections[static_cast<size_t>(i)];
        const ProfileEntries entries = {
            {"IsTcp", std::to_string(e.IsTcp)},
            {"Order", std::to_string(e.Order)},
            {"Item", e.Item},
            {"TcpName", e.TcpName},
            {"Ip", e.Ip},
            {"TcpPort", std::to_string(e.TcpPort)},
            {"ComPort", std::to_string(e.ComPort)},
            {"Baud", std::to_string(e.Baud)},
            {"DataBits", std::to_string(e.DataBits)},
            {"StopBits", std::to_string(e.StopBits)},
            {"Parity", std::to_string(e.Parity)},
        };
        sections.push_back({SectionName(i), entries});
    }
    // One replace of the file: the list is stored whole or not at all.
    return WriteProfileSections(profilePath, sections);
}

}  // namespace tavrin

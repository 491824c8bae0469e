#pragma once
#include <string>

#include "app/PelinDoc.h"

namespace tavrin {

// The saved connections in the settings file: section "Connections" with key "Total", then one
// section "Connection%d" per entry (0 ... Total-1, in list order) with the keys IsTcp, Order,
// Item, TcpName, Ip, TcpPort, ComPort, Baud, DataBits, StopBits, Parity. Every value is text;
// numbers are plain decimal.
inline constexpr const char* kConnectionsSection = "Connections";
inline constexpr int kMaxStoredConnections = 256;

// Replaces doc.connections by the entries of the file. "Total" is clamped to 0 ... 256; a
// missing key reads as an empty text or the number 0; numbers are read as their leading decimal
// digits (blanks and a sign allowed); DataBits, StopBits and Parity keep their low 8 bits.
// Nothing is sorted or checked. Returns the number of entries loaded.
int LoadConnectionList(CPelinDoc& doc, const std::string& profilePath);

// Writes "Total" (at most 256) and the first 256 entries. Sections of an earlier, longer list are
// left in place; nothing reads a section at or beyond "Total". Returns false when the file could
// not be written in full.
bool SaveConnectionList(const CPelinDoc& doc, const std::string& profilePath);

// The plain decimal conversion of the list: leading blanks, an optional sign, then digits up to
// the first other character; 0 when there are none. Clamped to the int range.
int DecimalValue(const std::string& text);

}  // namespace tavrin

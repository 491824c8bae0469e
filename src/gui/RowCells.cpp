#include "gui/RowCells.h"

#include <array>
#include <string>
#include <unordered_map>

#include "app/Cp932.h"
#include "app/PelinDoc.h"

namespace tavrin {

namespace {

// Decoded characters, filled on first use: one CP932 conversion per distinct character for
// the whole run instead of one per painted cell.
class CGlyphCache {
public:
    const QString& Single(uint8_t byte) {
        QString& text = singles_[byte];
        if (!singleKnown_[byte]) {
            text = QString::fromStdString(Cp932ToUtf8(std::string(1, static_cast<char>(byte))));
            singleKnown_[byte] = true;
        }
        return text;
    }
    const QString& Pair(uint8_t lead, uint8_t trail) {
        const size_t index = static_cast<size_t>(lead) << 8 | trail;
        auto it = pairs_.find(index);
        if (it == pairs_.end()) {
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            it = pairs_.emplace(index, QString::fromStdString(Cp932ToUtf8(std::string(bytes, 2)))).first;
        }
        return it->second;
    }

private:
    std::array<QString, 256> singles_;
    std::array<bool, 256> singleKnown_{};
    std::unordered_map<size_t, QString> pairs_;
};

CGlyphCache& Cache() {
    static CGlyphCache cache;  // the window thread is the only painter
    return cache;
}

bool IsAsciiGraphic(uint8_t byte) {
    return byte > 0x20 && byte < 0x7F;
}

}  // namespace

std::vector<RowCell> DecodeRow(const uint8_t* row80) {
    std::vector<RowCell> cells;
    if (row80 == nullptr) return cells;
    int column = 0;
    while (column < kColumns) {
        const uint8_t byte = row80[column];
        if (byte <= 0x20 || byte == 0x7F) {  // blank, control byte or DEL
            ++column;
            continue;
        }
        if (IsAsciiGraphic(byte)) {
            // A run of ASCII, inner blanks included, ending before trailing blanks.
            int end = column;
            int lastGraphic = column;
            while (end < kColumns && (IsAsciiGraphic(row80[end]) || row80[end] == ' ')) {
                if (row80[end] != ' ') lastGraphic = end;
                ++end;
            }
            RowCell cell;
            cell.column = column;
            cell.cells = lastGraphic - column + 1;
            cell.text = QString::fromLatin1(reinterpret_cast<const char*>(row80 + column), cell.cells);
            cell.run = true;
            cells.push_back(std::move(cell));
            column = lastGraphic + 1;
            continue;
        }
        RowCell cell;
        cell.column = column;
        if (IsCp932LeadByte(byte) && column + 1 < kColumns) {
            cell.cells = 2;
            cell.text = Cache().Pair(byte, row80[column + 1]);
        } else {
            cell.cells = 1;
            cell.text = IsCp932LeadByte(byte) ? QString(QChar(0xFFFD)) : Cache().Single(byte);
        }
        column += cell.cells;
        cells.push_back(std::move(cell));
    }
    return cells;
}

}  // namespace tavrin

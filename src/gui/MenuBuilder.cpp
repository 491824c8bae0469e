#include "gui/MenuBuilder.h"

#include <QAction>

namespace tavrin {

namespace {

// The Linux desktop's copy and paste keys work beside the accelerators of the tables; the Edit
// menu names both.
QString WithDesktopKeys(int id, const QString& text) {
    if (!text.contains(QLatin1Char('\t'))) return text;
    if (id == kCmdCopy) return text + QStringLiteral(", Ctrl+Shift+C");
    if (id == kCmdPaste) return text + QStringLiteral(", Ctrl+Shift+V, Shift+Ins");
    return text;
}

// Adds items[from..] at `level` to the container through addAction/addMenu/addSeparator until
// an item at a shallower level; returns the index after the last one used.
template <typename Container>
size_t Fill(Container* target, const std::vector<MenuItem>& items, size_t from, int level,
            const std::function<void(int)>& onCommand, std::vector<QMenu*>& popups) {
    size_t i = from;
    while (i < items.size() && items[i].level >= level) {
        const MenuItem& item = items[i];
        if (item.level > level) {  // an item under no popup: malformed, skipped
            ++i;
            continue;
        }
        const QString text = QString::fromStdString(item.text);
        switch (item.kind) {
            case MenuItemKind::Separator:
                if constexpr (std::is_same_v<Container, QMenu>) target->addSeparator();
                ++i;
                break;
            case MenuItemKind::Command: {
                QAction* action = target->addAction(WithDesktopKeys(item.id, text));
                action->setData(item.id);
                action->setCheckable(IsCheckCommand(item.id));
                const int id = item.id;
                QObject::connect(action, &QAction::triggered, action, [onCommand, id] { onCommand(id); });
                ++i;
                break;
            }
            case MenuItemKind::Popup: {
                QMenu* popup = target->addMenu(text);
                popups.push_back(popup);
                i = Fill(popup, items, i + 1, level + 1, onCommand, popups);
                break;
            }
        }
    }
    return i;
}

}  // namespace

int CommandOf(const QAction* action) {
    return action ? action->data().toInt() : 0;
}

bool IsCheckCommand(int id) {
    return id == kCmdEnglish || id == kCmdJapanese || id == kCmdToolBar;
}

std::vector<QMenu*> FillMenuBar(QMenuBar* target, const std::vector<MenuItem>& items,
                                const std::function<void(int)>& onCommand) {
    std::vector<QMenu*> popups;
    Fill(target, items, 0, 0, onCommand, popups);
    return popups;
}

std::vector<QMenu*> FillMenu(QMenu* target, const std::vector<MenuItem>& items, int baseLevel,
                             const std::function<void(int)>& onCommand) {
    std::vector<QMenu*> popups;
    size_t i = 0;
    while (i < items.size() && items[i].level < baseLevel) ++i;  // the popup that holds them
    Fill(target, items, i, baseLevel, onCommand, popups);
    return popups;
}

void ApplyCommandStates(QMenu* menu, const CommandQuery& query) {
    for (QAction* action : menu->actions()) {
        const int id = CommandOf(action);
        if (id == 0) continue;
        const MenuCommandState state = query(id, {action->isEnabled(), action->isChecked()});
        action->setEnabled(state.enabled);
        if (action->isCheckable()) action->setChecked(state.checked);
    }
}

}  // namespace tavrin

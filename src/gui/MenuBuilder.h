#pragma once
#include <QMenu>
#include <QMenuBar>
#include <functional>
#include <vector>

#include "app/Menus.h"

namespace tavrin {

// The command id of an action made by the builder (0 for none).
int CommandOf(const QAction* action);

// Adds the items of a core menu to a menu bar or a menu. Items at baseLevel become the
// entries of `target`; deeper items go into the popups above them. Every command action
// carries its id and calls onCommand(id) when triggered. Returns the popups made, outermost
// first.
std::vector<QMenu*> FillMenuBar(QMenuBar* target, const std::vector<MenuItem>& items,
                                const std::function<void(int)>& onCommand);
std::vector<QMenu*> FillMenu(QMenu* target, const std::vector<MenuItem>& items, int baseLevel,
                             const std::function<void(int)>& onCommand);

// Enable and check state of every command action directly in menu, from query(id, current).
using CommandQuery = std::function<MenuCommandState(int id, MenuCommandState current)>;
void ApplyCommandStates(QMenu* menu, const CommandQuery& query);

// True for the commands that carry a check mark.
bool IsCheckCommand(int id);

}  // namespace tavrin

#pragma once

class QWidget;

namespace tavrin {

inline constexpr const char* kVersionText = "Tavrin Version 1.2.8";

// The about box of the current language, modal over parent.
void ShowAboutBox(QWidget* parent);

}  // namespace tavrin

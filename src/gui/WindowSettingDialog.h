#pragma once
#include <QColor>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

#include "app/TerminalSetup.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace tavrin {

// The stored colour form 0x00BBGGRR (red in the low byte) and Qt's colours.
QColor ColorFromStored(uint32_t stored);
uint32_t StoredFromColor(const QColor& color);

// The Window setting dialog ("Window setting" / "画面設定"): the scroll-buffer rows on a number
// display with a horizontal up-down control (50 ... 200, arrow keys, faster while held), the
// "Bg color" and "Font color" buttons opening the colour dialog, and the sample "Abc123" in the
// working colours. OK writes the working values into the setting given; Cancel leaves it.
class CWindowSettingDialog : public QDialog {
    Q_OBJECT
public:
    explicit CWindowSettingDialog(CWindowSetting& setting, QWidget* parent = nullptr);

    const CWindowSetting& Working() const { return working_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void Lay();
    void ShowRows();
    void ShowSample();
    void ChooseColor(uint32_t& working);
    void ArrowPressed(int direction);
    void ArrowReleased();
    void RepeatStep();
    void Accept();

    CWindowSetting& setting_;
    CWindowSetting working_;
    QLabel* scrollLabel_ = nullptr;
    QLabel* rows_ = nullptr;
    QToolButton* down_ = nullptr;
    QToolButton* up_ = nullptr;
    QPushButton* bgButton_ = nullptr;
    QPushButton* textButton_ = nullptr;
    QLabel* sample_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    // The held arrow (button or key): its direction and how long it has been held.
    int heldDirection_ = 0;
    QElapsedTimer held_;
    QTimer repeat_;
};

}  // namespace tavrin

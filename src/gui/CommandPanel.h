#pragma once
#include <QDialog>
#include <array>

#include "panel/CommandPanel.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tavrin {

// The command button panel's window: twelve buttons in 4 rows of 3, the command line with its
// history, Cancel, the status line, BACK and NEXT with the page label. A modeless top-level
// window that only shows what the core panel holds and reports the clicks; every rule is in
// CCommandPanel. Created hidden; the panel shows it.
class CMacroDialog : public QDialog {
    Q_OBJECT
public:
    CMacroDialog(CCommandPanel& panel, QWidget* owner = nullptr);
    ~CMacroDialog() override;

    QPushButton* Button(int position) const;  // 1 ... 12
    QComboBox* CommandLine() const { return commandLine_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLabel* Status() const { return status_; }
    QLabel* PageLabel() const { return page_; }

    // Shows what the panel holds now.
    void ApplyDisplay();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;  // Esc
    void closeEvent(QCloseEvent* event) override;

private:
    void OnCommandLineEnter();

    CCommandPanel& panel_;
    std::array<QPushButton*, kPanelButtons> buttons_{};
    QComboBox* commandLine_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QLabel* page_ = nullptr;
    std::vector<std::string> shownHistory_;
};

}  // namespace tavrin

#pragma once
#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tavrin {

// The progress of a controller save or load, shown in the frame's status bar while it runs:
// one line of text, a bar (busy when the total is unknown) and a Cancel button.
class CTransferBar : public QWidget {
    Q_OBJECT
public:
    explicit CTransferBar(std::function<void()> onCancel, QWidget* parent = nullptr);

    void ShowProgress(const QString& text, int percent);
    QString Text() const;

private:
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

}  // namespace tavrin

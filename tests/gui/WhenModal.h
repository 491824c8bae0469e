#pragma once
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tavrin {

// Runs action on the next modal dialog that opens, of the class named (any class when
// className is null); the check runs every few milliseconds while the dialog's exec() spins.
class CWhenModal {
public:
    CWhenModal(const char* className, std::function<void(QWidget*)> action) : action_(std::move(action)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, className] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || (className != nullptr && !modal->inherits(className))) return;
            timer_.stop();
            ran_ = true;
            action_(modal);
        });
        timer_.start();
    }
    bool Ran() const { return ran_; }

private:
    QTimer timer_;
    std::function<void(QWidget*)> action_;
    bool ran_ = false;
};

}  // namespace tavrin

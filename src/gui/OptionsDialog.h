#pragma once
#include <QDialog>
#include <functional>

#include "link/ConnectionPages.h"

class QComboBox;
class QFormLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace tavrin {

struct CPelinDoc;

// The Options dialog: a serial page ("COM") and a TCP/IP page ("TCP/IP") that edit the
// connection list, in the current language. The pages only show COptionsModel and pass the
// user's choices to it; the document's list changes only at OK.
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    COptionsDlg(CPelinDoc& doc, int highestPort, QWidget* parent = nullptr);

    // Where the pages' messages go; by default a message box captioned "Tavrin". Tests record
    // them instead.
    void SetMessageHandler(std::function<void(const QString&)> handler) { showMessage_ = std::move(handler); }

    const COptionsModel& Model() const { return model_; }

    // Shows text in the application's message box: caption "Tavrin", exclamation icon, OK.
    static void ShowPageMessage(QWidget* parent, const QString& text);

private:
    // The page's fields beside its four buttons, and its list below; returns the list.
    QListWidget* LayOutPage(QWidget* page, QFormLayout* fields, OptionsPage which, const QString& prefix);
    QWidget* BuildComPage();
    QWidget* BuildTcpPage();
    void Press(OptionsPage page, PageButton button);
    void Accept();
    void ReadControls();
    // The port list as the model describes it.
    void FillPorts();
    void ShowComControls();
    void ShowTcpControls();
    void ShowLists();
    void Message(PageMessage message);

    CPelinDoc& doc_;
    COptionsModel model_;
    std::function<void(const QString&)> showMessage_;

    QTabWidget* tabs_ = nullptr;
    QListWidget* comList_ = nullptr;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QComboBox* dataBits_ = nullptr;
    QComboBox* stopBits_ = nullptr;
    QComboBox* parity_ = nullptr;
    QListWidget* tcpList_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* tcpPort_ = nullptr;
    QLineEdit* name_ = nullptr;
};

}  // namespace tavrin

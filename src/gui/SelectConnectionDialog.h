#pragma once
#include <QDialog>

class QListWidget;

namespace tavrin {

struct CPelinDoc;

// The Select Connection dialog: every saved connection in list order; OK or a double click on
// an item sets the document's connection from it and marks it used. Without a selection OK does
// nothing and the dialog stays open.
class CSelectConnDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSelectConnDlg(CPelinDoc& doc, QWidget* parent = nullptr);

private:
    void Choose();

    CPelinDoc& doc_;
    QListWidget* list_ = nullptr;
};

}  // namespace tavrin

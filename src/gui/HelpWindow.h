#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;
class QToolButton;
class QPushButton;

namespace tavrin {

// The user guide in Tavrin's own window: the installed HTML pages with their pictures, links
// followed inside, Back and Forward, a search field (Enter finds the next place, Shift+Enter
// the one before, from the top again after the end), and a button that opens the page in the
// desktop's browser for those who prefer it. Needs nothing beyond Qt.
class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Shows the page (an HTML file) and brings the window up. False when the file is missing;
    // the window then says so.
    bool ShowPage(const QString& path);
    QTextBrowser* Browser() const { return browser_; }
    QLineEdit* SearchField() const { return search_; }
    QLabel* StatusLabel() const { return status_; }
    // Looks for the search field's text after (or before) the cursor; false when it is nowhere.
    bool FindText(bool backward = false);

protected:
    void changeEvent(QEvent* event) override;

private:
    void Retranslate();
    void OpenInBrowser();

    QTextBrowser* browser_;
    QToolButton* back_;
    QToolButton* forward_;
    QLineEdit* search_;
    QPushButton* browserButton_;
    QLabel* status_;
};

}  // namespace tavrin

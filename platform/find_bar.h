#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QWebEngineFindTextResult;
class QWebEngineView;

namespace tessaly {

// A small bar drawn over the bottom edge of a browser view that finds text
// in the page: Enter finds the next match, Shift+Enter the one before, Esc
// closes the bar and clears the highlight.
class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QWebEngineView* view, QWidget* parent);

    // Shows the bar over the view's bottom edge with the text selected.
    void Open();
    void Close();
    // Keeps the bar on the view's bottom edge after the view moved or resized.
    void Place();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Find(bool backward);
    void ShowResult(const QWebEngineFindTextResult& result);

    QWebEngineView* view_;
    QLineEdit* text_;
    QLabel* matches_;
};

}  // namespace tessaly

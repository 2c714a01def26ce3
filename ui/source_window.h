#pragma once

#include <QPlainTextEdit>
#include <QUrl>
#include <QWidget>

class QWebEngineProfile;

namespace tessaly {

// Plain text with its line numbers in a margin: a site's source is shown
// as text, never read as markup.
class NumberedText : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit NumberedText(QWidget* parent = nullptr);

    int MarginWidth() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PaintMargin(QPaintEvent* event);

    QWidget* margin_;
    friend class NumberMargin;
};

// "查看源代码": a window of its own showing a page's source: what the site
// sent for a page the program converted (a deck, a binary deck as text),
// or the engine's own source view of any other page.
class SourceWindow : public QWidget {
    Q_OBJECT

public:
    static SourceWindow* ForText(const QUrl& address, const QString& source, QWidget* owner);
    static SourceWindow* ForPage(const QUrl& address, QWebEngineProfile* profile, QWidget* owner);

    // The text shown, for a window made ForText; empty otherwise.
    QString Text() const;

private:
    SourceWindow(const QUrl& address, QWidget* owner);

    NumberedText* text_ = nullptr;
};

}  // namespace tessaly

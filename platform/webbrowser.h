#pragma once

#include <QWidget>

// The hosted browser control as a document window sees it: a few operations and
// properties, and seven events. Member names follow the control the windows were
// designed around, so the windows read as their handlers are named.
class WebBrowser : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~WebBrowser() override = default;

    // Starts loading and returns at once. Takes a web address, an address as the
    // user typed it, or a local file path.
    virtual void Navigate(const QString &address) = 0;
    // Moves in the control's own history; false (and nothing done) when there is none.
    virtual bool GoBack() = 0;
    virtual bool GoForward() = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;

    virtual QString LocationName() const = 0;
    virtual QString LocationURL() const = 0;
    virtual bool Busy() const = 0;

Q_SIGNALS:
    void StatusTextChange(const QString &text);
    void ProgressChange(int progress, int progressMax);
    void DownloadBegin();
    void DownloadComplete();
    void TitleChange(const QString &text);
    void BeforeNavigate2(const QString &url);
    void NavigateComplete2(const QString &url);
};

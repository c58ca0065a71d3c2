#pragma once

// The bare reference program Halvane's start-up and memory are held against: per window a
// QMainWindow whose central widget is one QWebEngineView, and nothing else. Shared by
// bare_browser and bench_memory's bare mode, so both run the same reference.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSize>
#include <QUrl>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace barebrowser {

// The document area of a maximized main window on the offscreen platform's screen.
inline QSize defaultViewSize()
{
    return {796, 723};
}

// The monotonic clock in milliseconds, as the program's start-up trace and
// bench_startup read it.
inline qint64 nowMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

// A window's first paint: the first paint event of the window or of anything in it (the
// view covers the whole window, so the window itself may never be painted).
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, std::function<void()> painted)
        : QObject(window)
        , m_window(window)
        , m_painted(std::move(painted))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window && m_painted) {
            QCoreApplication::instance()->removeEventFilter(this);
            std::exchange(m_painted, nullptr)();
        }
        return false;
    }

private:
    QWidget *m_window;
    std::function<void()> m_painted;
};

class Window : public QMainWindow
{
public:
    explicit Window(std::function<void()> firstPaint)
        : view(new QWebEngineView(this))
    {
        setCentralWidget(view);
        if (firstPaint)
            new FirstPaint(this, std::move(firstPaint)); // a child: goes with the window
    }

    QWebEngineView *const view;
};

// Opens the windows, each loading the address: firstShown runs on the first window's
// first paint, allLoaded once every view has finished its first load (with how many
// finished well). With a valid mainSize there is one main window of that size whose
// central widget is a QMdiArea, and each view is a subwindow of it, as the program holds
// its document windows; otherwise each view is a main window of its own.
class Browser
{
public:
    Browser(const QUrl &url, int windows, QSize viewSize, std::function<void()> firstShown,
            std::function<void(int ok)> allLoaded, QSize mainSize = {})
        : m_allLoaded(std::move(allLoaded))
    {
        QMdiArea *area = nullptr;
        if (mainSize.isValid()) {
            m_main = std::make_unique<QMainWindow>();
            area = new QMdiArea(m_main.get());
            m_main->setCentralWidget(area);
            m_main->resize(mainSize);
            if (firstShown)
                new FirstPaint(m_main.get(), std::move(firstShown));
            m_main->show();
        }
        for (int i = 0; i < windows; ++i) {
            QWebEngineView *view = nullptr;
            if (area) {
                view = new QWebEngineView;
                view->setFixedSize(viewSize);
                area->addSubWindow(view)->show();
                m_views.push_back(view);
            } else {
                auto w = std::make_unique<Window>(i == 0 ? std::move(firstShown) : std::function<void()>());
                w->resize(viewSize);
                view = w->view;
                m_views.push_back(view);
                m_windows.push_back(std::move(w));
            }
            // Only each view's first load counts.
            QObject::connect(view, &QWebEngineView::loadFinished, view, [this, counted = false](bool ok) mutable {
                if (std::exchange(counted, true))
                    return;
                m_ok += ok ? 1 : 0;
                if (++m_finished == int(m_views.size()) && m_allLoaded)
                    m_allLoaded(m_ok);
            });
            view->load(url);
            if (!area)
                m_windows.back()->show();
        }
    }

private:
    std::unique_ptr<QMainWindow> m_main;
    std::vector<std::unique_ptr<Window>> m_windows;
    std::vector<QWebEngineView *> m_views;
    std::function<void(int)> m_allLoaded;
    int m_finished = 0;
    int m_ok = 0;
};

} // namespace barebrowser

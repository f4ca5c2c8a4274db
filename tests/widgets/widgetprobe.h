#pragma once

// Helpers for the display widget tests: render a widget into an image of a
// known device pixel ratio, and count the repaints and relayouts that a
// setter causes without relying on timing.

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QtTest>

#include <functional>

namespace widgetprobe {

// The widget alone on a transparent image, at the given logical size.
inline QImage render(QWidget &widget, QSize size, qreal ratio = 1.0)
{
    widget.resize(size);
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

class EventCounter final : public QObject
{
public:
    EventCounter(QObject *watched, QEvent::Type type)
        : m_type(type)
    {
        watched->installEventFilter(this);
    }

    int count = 0;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            ++count;
        return false;
    }

private:
    QEvent::Type m_type;
};

// Shows `widget` (made with new; the watch's window takes it over) in a
// window beside a small probe. The window paints all its
// dirty widgets in one pass, so once the probe has repainted after an action,
// any update() that the action asked for has been painted as well.
class RepaintWatch
{
public:
    RepaintWatch(QWidget *widget, QSize size)
        : m_probe(new QWidget(&m_window))
        , m_widgetPaints(widget, QEvent::Paint)
        , m_probePaints(m_probe, QEvent::Paint)
        , m_layoutRequests(&m_window, QEvent::LayoutRequest)
    {
        widget->setParent(&m_window);
        widget->setGeometry(QRect(QPoint(0, 0), size));
        m_probe->setGeometry(size.width() + 10, 0, 10, 10);
        m_window.resize(size.width() + 30, size.height() + 10);
        m_window.show();
    }

    bool exposed() { return QTest::qWaitForWindowExposed(&m_window) && settled(); }

    // How often the widget painted because of `action`; -1 if the window
    // never got round to painting.
    int paintsAfter(const std::function<void()> &action)
    {
        m_widgetPaints.count = 0;
        action();
        return settled() ? m_widgetPaints.count : -1;
    }

    // How many geometry updates `action` caused.
    int relayoutsAfter(const std::function<void()> &action)
    {
        QCoreApplication::sendPostedEvents(&m_window, QEvent::LayoutRequest);
        m_layoutRequests.count = 0;
        action();
        QCoreApplication::sendPostedEvents(&m_window, QEvent::LayoutRequest);
        return m_layoutRequests.count;
    }

private:
    bool settled()
    {
        m_probePaints.count = 0;
        m_probe->update();
        return QTest::qWaitFor([this] { return m_probePaints.count > 0; });
    }

    QWidget m_window;
    QWidget *m_probe;
    EventCounter m_widgetPaints;
    EventCounter m_probePaints;
    EventCounter m_layoutRequests;
};

} // namespace widgetprobe

#include "WindowPlacement.h"

#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace WindowPlacement {

namespace {
constexpr int EdgeTolerance = 49;
constexpr int Gap = 6;
constexpr int FramePollMs = 20;
constexpr int MaxFramePollMs = 1000;
constexpr int CascadeStep = 28;
} // namespace

QPoint centred(const QRect& available, const QSize& size)
{
    return QPoint(available.x() + available.width() / 2 - size.width() / 2,
                  available.y() + available.height() / 2 - size.height() / 2);
}

QRect besideInspector(const QRect& available, const QRect& inspectorFrame)
{
    if (std::abs(inspectorFrame.left() - available.left()) <= EdgeTolerance) {
        QRect region = available;
        region.setLeft(inspectorFrame.right() + Gap);
        return region;
    }
    if (std::abs(inspectorFrame.right() - available.right()) <= EdgeTolerance) {
        QRect region = available;
        region.setRight(inspectorFrame.left() - Gap);
        return region;
    }
    return QRect();
}

void fitFrame(QWidget* window, const QRect& region)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    window->setGeometry(region.adjusted(client.left() - frame.left(), client.top() - frame.top(),
                                        client.right() - frame.right(),
                                        client.bottom() - frame.bottom()));
}

QRect cascaded(const QRect& available, const QRect& previousFrame, const QSize& frameSize)
{
    QSize size = frameSize.boundedTo(available.size()).expandedTo(QSize(1, 1));
    // A window as large as the whole area could only cover the one before: it is a step
    // smaller, so that the next one can move.
    if (size == available.size())
        size = size.shrunkBy(QMargins(0, 0, CascadeStep, CascadeStep)).expandedTo(QSize(1, 1));
    if (previousFrame.isNull())
        return QRect(available.topLeft(), size);
    QPoint corner = previousFrame.topLeft() + QPoint(CascadeStep, CascadeStep);
    if (corner.x() < available.left() || corner.x() + size.width() - 1 > available.right())
        corner.setX(available.left());
    if (corner.y() < available.top() || corner.y() + size.height() - 1 > available.bottom())
        corner.setY(available.top());
    return QRect(corner, size);
}

bool isFramed(const QWidget* window)
{
    return window->frameGeometry() != window->geometry();
}

void whenFramed(QWidget* window, const std::function<void()>& place,
                const std::function<bool()>& framed)
{
    const std::function<bool()> test
        = framed ? framed : std::function<bool()>([window] { return isFramed(window); });
    auto* timer = new QTimer(window);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, window, [window, timer, place, test] {
        if (test()) {
            place();
            timer->deleteLater();
            return;
        }
        // A window hidden before it was framed is no longer waited for.
        if (!window->isVisible()) {
            timer->deleteLater();
            return;
        }
        timer->start(std::min(timer->interval() * 2, MaxFramePollMs));
    });
    timer->start(FramePollMs);
}

} // namespace WindowPlacement

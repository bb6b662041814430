#include "WindowPlacement.h"

#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <memory>

namespace WindowPlacement {

namespace {
constexpr int EdgeTolerance = 49;
constexpr int Gap = 6;
constexpr int FramePollMs = 20;
constexpr int FramePolls = 50;
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

void whenFramed(QWidget* window, const std::function<void()>& place)
{
    auto* timer = new QTimer(window);
    auto polls = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, window, [window, timer, polls, place] {
        const bool framed = window->frameGeometry() != window->geometry();
        if (framed)
            place();
        if (framed || ++*polls >= FramePolls)
            timer->deleteLater();
        else
            timer->start();
    });
    timer->setSingleShot(true);
    timer->start(FramePollMs);
}

} // namespace WindowPlacement

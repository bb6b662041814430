#include "Chooser.h"

#include <QIcon>

#include <algorithm>

namespace {

// How much narrower the tabs of a compact chooser are.
constexpr int CompactNarrowing = 20;

} // namespace

Chooser::Chooser(QWidget* parent)
    : QTabBar(parent)
{
    setDrawBase(false);
}

int Chooser::addTab(const QIcon& icon)
{
    return QTabBar::addTab(icon, QString());
}

void Chooser::setCompact(bool compact)
{
    this->compact = compact;
}

QSize Chooser::tabSizeHint(int index) const
{
    QSize size = QTabBar::tabSizeHint(index);
    if (compact)
        size.setWidth(std::max(0, size.width() - CompactNarrowing));
    return size;
}

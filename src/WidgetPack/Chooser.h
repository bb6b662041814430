#ifndef CHOOSER_H
#define CHOOSER_H

#include <QTabBar>

class QIcon;

// A tab bar used as a row of icon buttons, one of which is chosen (an edge's path, a node's
// signalling method, a curve's type). The application's style sheet gives it its look.
class Chooser : public QTabBar
{
    Q_OBJECT

public:
    explicit Chooser(QWidget* parent = nullptr);

    using QTabBar::addTab;
    // Appends a tab with an icon and no text; returns its index.
    int addTab(const QIcon& icon);

    // A compact chooser's tabs are 20 pixels narrower. Setting it does not relayout by itself:
    // it counts from the next size-hint query.
    bool isCompact() const { return compact; }
    void setCompact(bool compact);

protected:
    QSize tabSizeHint(int index) const override;

private:
    bool compact = false;
};

#endif // CHOOSER_H

#ifndef FOCUSWINDOW_H
#define FOCUSWINDOW_H

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

// A shown, active window that holds the widget under test above a line edit, which takes the
// keyboard focus from it when asked.
class FocusWindow
{
public:
    // The window takes `tested` as its child.
    explicit FocusWindow(QWidget* tested)
        : tested(tested)
        , other(new QLineEdit(&window))
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(tested);
        layout->addWidget(other);
    }

    // Shows the window and gives the tested widget the focus; false when that failed.
    [[nodiscard]] bool open()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window) && focus(tested);
    }

    [[nodiscard]] static bool focus(QWidget* widget)
    {
        widget->setFocus();
        return QTest::qWaitFor([widget] { return widget->hasFocus(); });
    }

    QWidget window;
    QWidget* tested;
    QLineEdit* other;
};

#endif // FOCUSWINDOW_H

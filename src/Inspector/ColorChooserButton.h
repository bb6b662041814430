#ifndef COLORCHOOSERBUTTON_H
#define COLORCHOOSERBUTTON_H

#include <QColor>
#include <QPushButton>

// A button that shows a colour as a swatch and edits it with the application's shared colour
// dialog, following the dialog live while the user browses. A translucent colour shows a
// white and a black half through the swatch.
class ColorChooserButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool ignoreAlpha READ ignoreAlpha WRITE setIgnoreAlpha)

public:
    explicit ColorChooserButton(QWidget* parent = nullptr);
    ~ColorChooserButton() override;

    QColor color() const { return m_color; }
    bool ignoreAlpha() const { return m_ignoreAlpha; }

public slots:
    // Stores the colour (opaque when alpha is ignored), shows it and emits colorChanged,
    // also when it did not change. An invalid colour shows no swatch.
    void setColor(const QColor& color);
    // Takes effect with the next colour set.
    void setIgnoreAlpha(bool ignore);
    void onClicked();

signals:
    void colorChanged(const QColor& color);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateSwatch();

    QColor m_color;
    bool m_ignoreAlpha = false;
    int m_iconMargin = 3;
};

#endif // COLORCHOOSERBUTTON_H

#ifndef FLASHINGVALIDATOR_H
#define FLASHINGVALIDATOR_H

#include <QColor>
#include <QPalette>
#include <QPointer>
#include <QRegularExpressionValidator>

class QTimeLine;
class QWidget;

// A regular-expression validator (the pattern is matched as a whole) that flashes the
// background of its widget light red whenever it rejects a text, so that a refused keystroke
// is seen. The flash starts from the widget's own background colour and returns to it.
class FlashingValidator : public QRegularExpressionValidator
{
    Q_OBJECT

public:
    // `widget` is the validator's parent and the widget that flashes.
    FlashingValidator(const QRegularExpression& rx, QWidget* widget);
    ~FlashingValidator() override;

    State validate(QString& input, int& pos) const override;
    // Removes one trailing ",": a list left ending in a separator.
    void fixup(QString& input) const override;

    // Flashes the widget, from the beginning when a flash is running.
    void flash() const;
    bool isFlashing() const;

private slots:
    void onTimeLineValueChanged(qreal value);
    void onTimeLineFinished();

private:
    QPointer<QWidget> m_widget;
    QTimeLine* m_timeLine;
    // The widget's palette and background colour from before the flash.
    mutable QPalette m_restingPalette;
    mutable QColor m_restingColor;
};

#endif // FLASHINGVALIDATOR_H

#ifndef QPLAINTEXTEDITPLUS_H
#define QPLAINTEXTEDITPLUS_H

#include <QPlainTextEdit>

// A plain-text edit that reports the end of editing, as a line edit does, when the focus
// leaves it for another widget.
class QPlainTextEditPlus : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit QPlainTextEditPlus(QWidget* parent = nullptr);
    ~QPlainTextEditPlus() override;

signals:
    void editingFinished();

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

#endif // QPLAINTEXTEDITPLUS_H

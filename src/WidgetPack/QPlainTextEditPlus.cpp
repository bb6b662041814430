#include "QPlainTextEditPlus.h"

#include <QFocusEvent>

QPlainTextEditPlus::QPlainTextEditPlus(QWidget* parent)
    : QPlainTextEdit(parent)
{ }

QPlainTextEditPlus::~QPlainTextEditPlus() = default;

void QPlainTextEditPlus::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    // The edit's own context menu takes the focus only for a while.
    if (!hasFocus() && event->reason() != Qt::PopupFocusReason)
        emit editingFinished();
}

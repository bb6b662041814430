#include "QwpComboBox.h"

QwpComboBox::QwpComboBox(QWidget* parent)
    : QComboBox(parent)
{ }

QVariant QwpComboBox::key(int index) const
{
    if (index < 0 || index >= count())
        return QVariant();
    return itemData(index, Qt::UserRole);
}

QVariant QwpComboBox::currentKey() const
{
    return key(currentIndex());
}

void QwpComboBox::addItem(const QString& text)
{
    QComboBox::addItem(text, QVariant(text));
}

void QwpComboBox::addItems(const QStringList& texts)
{
    for (const QString& text : texts)
        addItem(text);
}

void QwpComboBox::setCurrentKey(const QVariant& key)
{
    setCurrentIndex(findData(key, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

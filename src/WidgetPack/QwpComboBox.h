#ifndef QWPCOMBOBOX_H
#define QWPCOMBOBOX_H

#include <QComboBox>
#include <QVariant>

// A combo box whose items carry a key beside their text (the item data under Qt::UserRole),
// so that a value can be bound to the key while the user sees a translated text.
class QwpComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QVariant currentKey READ currentKey WRITE setCurrentKey STORED false)

public:
    explicit QwpComboBox(QWidget* parent = nullptr);

    // The key of an item; an invalid QVariant for an index without an item.
    QVariant key(int index) const;
    // The key of the current item; an invalid QVariant when there is none.
    QVariant currentKey() const;

    using QComboBox::addItem;
    using QComboBox::addItems;
    // Appends an item that is its own key.
    void addItem(const QString& text);
    // Appends one such item per text, in order.
    void addItems(const QStringList& texts);

public slots:
    // Makes current the item whose key equals `key` exactly (case-sensitive), or no item.
    void setCurrentKey(const QVariant& key);
};

#endif // QWPCOMBOBOX_H

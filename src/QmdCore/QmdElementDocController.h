#ifndef QMDELEMENTDOCCONTROLLER_H
#define QMDELEMENTDOCCONTROLLER_H

#include "QmdDocController.h"

// A document made of elements: the root is a StrDict whose "Elements" IntDict holds one StrDict
// per element, with the element's type under "Type". Changes of elements are reported as
// element signals.
class QmdElementDocController : public QmdDocController
{
    Q_OBJECT

public:
    explicit QmdElementDocController(QObject* parent = nullptr);
    ~QmdElementDocController() override;

    // Locked reads
    QmdIndex elementsRoot() const;
    bool isElement(const QmdIndex& index) const;
    QmdItemIdList elements() const;
    QmdIndex elementIndex(QmdItemId id) const;
    int elementType(QmdItemId id) const;

    // Unlocked: the caller holds the model lock and has a request open.
    QmdIndex directElementsRoot() const;
    QVariant directElementData(QmdItemId id, const QString& key) const;
    void directSetElementData(QmdItemId id, const QString& key, const QVariant& value);
    virtual QmdItemId directAddElement(uint type, const QHash<QString, QVariant>& data,
                                       const QHash<QString, Qmd::ContainerType>& containers);

    QmdRequestId requestAddElement(uint type, const QHash<QString, QVariant>& data,
                                   const QHash<QString, Qmd::ContainerType>& containers,
                                   const QmdRequestOptions& options, QmdItemId* newId = nullptr);

signals:
    void elementsAdded(const QmdItemIdList& idList, QmdRequestId rid);
    void elementsRemoved(const QmdItemIdList& idList, QmdRequestId rid);
    void elementDataChanged(QmdItemId id, const QStringList& keys, QmdRequestId rid);
    void elementDataRemoved(QmdItemId id, const QStringList& keys, QmdRequestId rid);

protected:
    void Reset() override;

protected slots:
    void receivedItemsChanged(const QmdIndex& parent, const QmdItemIdList& idList,
                              QmdRequestId rid) override;
    void receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex& parent, const QStringList& keys,
                              QmdRequestId rid) override;

private:
    QmdIndex m_elementsRoot;
};

#endif // QMDELEMENTDOCCONTROLLER_H

#ifndef SETTINGSCONTROLLER_H
#define SETTINGSCONTROLLER_H

#include "AbstractController.h"

#include <QByteArray>
#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QString>

class CSettingsChangeValueEvent;
class CSettingsEvent;
class CSettingsRemoveKeyEvent;
class SettingsModel;

// Receives settings changes, forwards them to the model, tells the views and keeps the object
// properties bound to keys in step: a bound property follows its key, and the property's
// change signal writes the key.
class SettingsController : public QObject, public AbstractController
{
    Q_OBJECT

public:
    struct BindingInfo
    {
        QByteArray property;
        QByteArray signal; // as made by SIGNAL()
        QString key;

        bool operator==(const BindingInfo& other) const
        {
            return property == other.property && signal == other.signal && key == other.key;
        }
    };

    explicit SettingsController(QObject* parent = nullptr);
    // Posts the model to this controller; it is known once that event has been delivered.
    explicit SettingsController(SettingsModel* model, QObject* parent = nullptr);
    ~SettingsController() override;

    SettingsModel* settingsModel() const { return m_settingsModel; }

    // Binds the object's property to the key: sets the property to the stored value (when the
    // key has one), and from then on posts a change of the key whenever the object emits the
    // signal (given as SIGNAL(name(args))). Needs the model to be known already.
    void bind(QObject* object, const char* property, const char* signal, const QString& key);

    quint32 moduleId() const override;
    void mvcEvent(MvcEvent* event) override;
    void changeModelEvent(CChangeModelEvent* event) override;
    virtual void changeValueEvent(CSettingsChangeValueEvent* event);
    virtual void removeKeyEvent(CSettingsRemoveKeyEvent* event);
    virtual void clearEvent(CSettingsEvent* event);
    virtual void syncEvent(CSettingsEvent* event);

public slots:
    void unbind(QObject* obj);
    void unbind(QObject* obj, const QString& settingsKey);
    void onBoundObjectSignalled();

protected:
    void customEvent(QEvent* event) override;

private:
    // True when the view is to hear about the event (the sender is skipped on request).
    static bool tellsView(const CEvent* event, const AbstractView* view);
    void connectBinding(QObject* object, const BindingInfo& binding);
    void disconnectBinding(QObject* object, const BindingInfo& binding);

    QMultiHash<QObject*, BindingInfo> m_bindings;
    QPointer<SettingsModel> m_settingsModel;
};

#endif // SETTINGSCONTROLLER_H

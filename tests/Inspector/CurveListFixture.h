#ifndef CURVELISTFIXTURE_H
#define CURVELISTFIXTURE_H

#include "CCItemEdit.h"
#include "CCListEdit.h"
#include "PreferenceKeys.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "TestAppServices.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A network of two nodes and an edge, the controller-curve list of the edge, and the
// application's preferences, which the fixture sets: automatic LSB pairing off and smart reset
// on unless a test says otherwise.
struct CurveList
{
    CurveList()
    {
        setPreference(PreferenceKeys::ControllersAutoLsb, false);
        setPreference(PreferenceKeys::ControllersSmartReset, true);
        controller.setModel(&model);
        QmdItemId from = 0;
        QmdItemId to = 0;
        controller.requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                                  QmdRequestOptions(QStringLiteral("Node")), &from);
        controller.requestAddNode(QmdKelvo::TickPoint {665280, 0}, QmdKelvo::NoCreationFlags,
                                  QmdRequestOptions(QStringLiteral("Node")), &to);
        controller.requestAddEdge(controller.elementIndex(from), controller.elementIndex(to),
                                  QmdKelvo::CityBlock, QmdKelvo::NoCreationFlags,
                                  QmdRequestOptions(QStringLiteral("Edge")), &edge);
        settle();
        list = std::make_unique<CCListEdit>();
        list->setController(&controller);
    }

    ~CurveList()
    {
        list.reset();
        // Rows removed from the list go on the next turn of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void setPreference(const QString& key, bool value)
    {
        services.settings()->setValue(key, value);
    }

    // Delivers the controller's queued signals and what they set off, follow-ups included.
    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::sendPostedEvents();
    }

    QmdIndex edgeIndex() const { return controller.elementIndex(edge); }
    QmdIndex curvesIndex() const
    {
        return controller.index(QmdKelvoKeys::ContinuousControllers, edgeIndex());
    }
    QmdItemIdList curveIds() const { return controller.idList(curvesIndex()); }
    QmdIndex curveIndex(QmdItemId id) const { return controller.index(id, curvesIndex()); }

    // Adds a curve as a file or another editor would, with its points in the same request;
    // returns its id.
    QmdItemId addCurve(QmdKelvo::ControllerCurveType type, int msb, int lsb,
                       const QPolygonF& points)
    {
        const QmdRequestId rid = controller.requestAddControllerToEdge(
            edgeIndex(), type, short(msb), short(lsb), QmdRequestOptions(QStringLiteral("Add")));
        const QmdItemId id = curveIds().constLast();
        QmdRequestOptions joined {QString()};
        joined.id = rid;
        controller.requestSetData(QmdKelvoKeys::CurvePoints, QVariant::fromValue(points),
                                  curveIndex(id), joined);
        settle();
        return id;
    }

    QVariant curveValue(QmdItemId id, const QString& key) const
    {
        return controller.data(key, curveIndex(id));
    }
    QPolygonF points(QmdItemId id) const
    {
        return curveValue(id, QmdKelvoKeys::CurvePoints).value<QPolygonF>();
    }
    int msb(QmdItemId id) const { return curveValue(id, QmdKelvoKeys::MsbCode).toInt(); }
    int lsb(QmdItemId id) const { return curveValue(id, QmdKelvoKeys::LsbCode).toInt(); }

    // Shows the edge and returns the row of a curve.
    CCItemEdit* show(QmdItemId curve)
    {
        list->setEdge(edge);
        settle();
        return list->itemEdit(curve);
    }

    void undo()
    {
        controller.requestUndo();
        settle();
    }
    void redo()
    {
        controller.requestRedo();
        settle();
    }

    // The document as a saved file holds it.
    QByteArray savedFile()
    {
        const QString path = dir.filePath(QStringLiteral("saved.kvd"));
        controller.requestSave(path);
        settle();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestAppServices services;
    QTemporaryDir dir;
    QmdMemModel model;
    QmdKelvoController controller;
    QmdItemId edge = 0;
    std::unique_ptr<CCListEdit> list;
};

inline void chooseKey(QComboBox* combo, int key)
{
    combo->setCurrentIndex(combo->findData(key));
}

#endif // CURVELISTFIXTURE_H

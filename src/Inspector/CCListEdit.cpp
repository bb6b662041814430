#include "CCListEdit.h"

#include "AppServices.h"
#include "CCItemEdit.h"
#include "ControllerCurves.h"
#include "PreferenceKeys.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QBoxLayout>
#include <QSettings>
#include <QTimer>

namespace K = QmdKelvoKeys;

namespace {

QString rowStyleSheet(const char* background)
{
    return QStringLiteral("QFrame#CCItemEditForm {"
                          "  border: 0px;"
                          "  border-top:    1px solid rgba(250, 250, 250, 97);"
                          "  border-bottom: 1px solid rgba(90, 90, 90, 97);"
                          "  background:    %1;"
                          "}")
        .arg(QLatin1String(background));
}

} // namespace

// ---- CCItem ----------------------------------------------------------------------------------

CCItem::CCItem(CCListEdit* parent)
    : QFrame(parent)
    , listEdit(parent)
{
    if (parent && parent->documentController())
        controller = parent->documentController();
    ui.setupUi(this);
    ui.curveTypeChooser->setDrawBase(false);
    // In the order of the curve types, so that the tab index is the type.
    ui.curveTypeChooser->addTab(tr("None"));
    ui.curveTypeChooser->addTab(tr("Single"));
    ui.curveTypeChooser->addTab(tr("Linear"));
    ui.curveTypeChooser->addTab(tr("Cubic"));
    setStyleSheet(rowStyleSheet("rgba(160, 160, 160, 97)"));
}

CCItem::~CCItem() = default;

bool CCItem::preference(const QString& key, bool defaultValue)
{
    const AppServices* services = AppServices::instance();
    if (!services || !services->settings())
        return defaultValue;
    return services->settings()->value(key, defaultValue).toBool();
}

void CCItem::on_curveTypeChooser_currentChanged(int) { }

// ---- CCItemSpawner ---------------------------------------------------------------------------

CCItemSpawner::CCItemSpawner(CCListEdit* parent)
    : CCItem(parent)
{
    ui.editContainer->hide();
}

void CCItemSpawner::on_curveTypeChooser_currentChanged(int index)
{
    if (!controller || index == QmdKelvo::NoCurve)
        return;
    const int lsb
        = preference(PreferenceKeys::ControllersAutoLsb, PreferenceKeys::ControllersAutoLsbDefault)
        ? controllerInfo(1).lsbCode
        : NoControllerCode;
    // The list completes the new curve's points when the controller reports it.
    controller->requestAddControllerToEdge(listEdit->edgeIndex,
                                           QmdKelvo::ControllerCurveType(index), 1, short(lsb),
                                           QmdRequestOptions(tr("Controller")));
    const QSignalBlocker blocker(ui.curveTypeChooser);
    ui.curveTypeChooser->setCurrentIndex(QmdKelvo::NoCurve);
}

// ---- CCListEdit ------------------------------------------------------------------------------

CCListEdit::CCListEdit(QWidget* parent)
    : QFrame(parent)
{
    qRegisterMetaType<QPolygonF>("QPolygonF");
    controllerInfoTable();

    QPalette colors = palette();
    colors.setColor(QPalette::All, QPalette::Window, QColor(223, 228, 234));
    setPalette(colors);

    layout = new QBoxLayout(QBoxLayout::TopToBottom, this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    spawner = new CCItemSpawner(this);
    layout->addWidget(spawner);
    layout->addStretch();
    sync();
}

CCListEdit::~CCListEdit() = default;

void CCListEdit::setController(QmdKelvoController* newController)
{
    if (controller)
        controller->disconnect(this);
    QmdObserver<QmdKelvoController>::setController(newController);
    if (controller) {
        connect(controller,
                qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(
                    &QmdController::itemsChanged),
                this, &CCListEdit::onIntDictItemsChangedOrRemoved);
        connect(controller,
                qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(
                    &QmdController::itemsRemoved),
                this, &CCListEdit::onIntDictItemsChangedOrRemoved);
        connect(controller,
                qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(
                    &QmdController::itemsChanged),
                this, &CCListEdit::onStrDictItemsChanged);
    }
    spawner->setController(controller);
    edgeIndex = QmdIndex();
    controllersIndex = QmdIndex();
    sync();
}

void CCListEdit::setEdge(QmdItemId edge)
{
    edgeIndex = QmdIndex();
    controllersIndex = QmdIndex();
    if (controller && controller->elementType(edge) == QmdKelvo::EdgeElement) {
        edgeIndex = controller->elementIndex(edge);
        controller->requestSetTypeIfInvalid(
            K::ContinuousControllers, Qmd::IntDict, edgeIndex,
            QmdRequestOptions(Qmd::NotUndoable, tr("Ensure ContinuousControllersRoot Exists")));
        controllersIndex = controller->index(K::ContinuousControllers, edgeIndex);
    }
    sync();
}

void CCListEdit::sync()
{
    const QList<QmdItemId> ids = itemEdits.keys();
    for (QmdItemId id : ids)
        removeRow(id);
    onIntDictItemsChangedOrRemoved(controllersIndex);
}

void CCListEdit::removeRow(QmdItemId curveId)
{
    CCItemEdit* row = itemEdits.take(curveId);
    if (!row)
        return;
    row->detach();
    layout->removeWidget(row);
    row->hide();
    row->deleteLater();
}

void CCListEdit::onIntDictItemsChangedOrRemoved(const QmdIndex& parent)
{
    if (!controller || !edgeIndex.isValid() || !controllersIndex.isValid()
        || parent != controllersIndex)
        return;

    setUpdatesEnabled(false);
    const QmdItemIdList ids = controller->idList(parent);
    const QList<QmdItemId> shown = itemEdits.keys();
    for (QmdItemId id : shown)
        if (!ids.contains(id))
            removeRow(id);
    for (QmdItemId id : ids) {
        if (itemEdits.contains(id))
            continue;
        const QmdIndex curve = controller->index(id, parent);
        if (controller->data(K::CurveType, curve).toInt() == QmdKelvo::NoCurve)
            continue;
        auto* row = new CCItemEdit(this, curve);
        // Ids grow with each curve added, so this keeps the rows in id order.
        layout->insertWidget(int(qMin<qint64>(id, layout->indexOf(spawner))), row);
        itemEdits.insert(id, row);
    }
    restripe();
    setUpdatesEnabled(true);
    QTimer::singleShot(0, this, qOverload<>(&QWidget::update));
}

void CCListEdit::restripe()
{
    for (int i = 0; i < layout->count(); ++i) {
        if (QWidget* row = layout->itemAt(i)->widget())
            row->setStyleSheet(
                rowStyleSheet(i % 2 ? "rgba(130, 130, 130, 97)" : "rgba(190, 190, 190, 97)"));
    }
}

void CCListEdit::onStrDictItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                       QmdRequestId requestId)
{
    if (!controller || !edgeIndex.isValid() || !keys.contains(K::CurveType))
        return;
    // Undo and redo bring back what the user's request did, follow-ups included.
    if (controller->unfinishedUndoRedoRequests().contains(requestId))
        return;
    QmdRequestOptions options(QString {});
    options.id = requestId;

    const int type = controller->data(K::CurveType, parent).toInt();
    if (type == QmdKelvo::NoCurve) {
        options.intent = tr("Delete Controller");
        controller->requestRemove(parent, options);
        return;
    }
    const QPolygonF points = controller->data(K::CurvePoints, parent).value<QPolygonF>();
    const QPolygonF fixed = normalizedCurvePoints(
        QmdKelvo::ControllerCurveType(type), controller->data(K::MsbCode, parent).toInt(),
        controller->data(K::LsbCode, parent).toInt(), points);
    if (!curvePointsEqual(fixed, points)) {
        options.intent = tr("Curve Points");
        controller->requestSetData(K::CurvePoints, QVariant::fromValue(fixed), parent, options);
    }
}

// ---- CCListEditScrollArea --------------------------------------------------------------------

CCListEditScrollArea::CCListEditScrollArea(QWidget* parent)
    : QScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void CCListEditScrollArea::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    QWidget* list = widget();
    if (!list)
        return;
    // The viewport is already laid out for the new size.
    const int width = viewport()->width();
    if (list->width() != width)
        list->setFixedWidth(width);
}

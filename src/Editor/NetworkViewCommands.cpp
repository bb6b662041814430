// The commands of NetworkView that do not come from mouse editing: the context menu with its
// entries bound to the selected elements, the keys Escape, Delete, Backspace, Shift and Alt,
// starting and stopping the selected voice groups, the filter on double clicks, and MIDI entry
// into the selection.

#include "NetworkView.h"

#include "AbstractSync.h"
#include "DocumentWindow.h"
#include "GraphicsEdgeItem.h"
#include "MidiEvent.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace K = QmdKelvoKeys;

namespace {

// The action of a group whose data is `value`; null when none has it.
QAction* actionWithData(const QActionGroup* group, int value)
{
    for (QAction* action : group->actions()) {
        if (action->data().toInt() == value)
            return action;
    }
    return nullptr;
}

int checkedData(const QActionGroup* group)
{
    const QAction* checked = group->checkedAction();
    return checked ? checked->data().toInt() : -1;
}

// Checks the action of `value`, or none when no action has it.
void checkData(QActionGroup* group, int value)
{
    if (QAction* action = actionWithData(group, value)) {
        action->setChecked(true);
    } else if (QAction* checked = group->checkedAction()) {
        checked->setChecked(false);
    }
}

} // namespace

// ---- Context menu ----------------------------------------------------------------------------

void NetworkView::setActionTarget(QObject* target)
{
    unbindContextMenu();
    delete m_contextMenu;
    m_contextMenu = nullptr;
    actionTarget = target;
    createActions();
}

void NetworkView::createActions()
{
    m_contextMenu = new QMenu(this);
    QMenu* menu = m_contextMenu;
    cutAction = menu->addAction(tr("Cu&t"));
    copyAction = menu->addAction(tr("&Copy"));
    pasteAction = menu->addAction(tr("&Paste"));
    deleteAction = menu->addAction(tr("&Delete"));
    selectAllAction = menu->addAction(tr("Select A&ll"));
    if (DocumentWindow* window = actionWindow()) {
        connect(cutAction, &QAction::triggered, window, &DocumentWindow::cut);
        connect(copyAction, &QAction::triggered, window, &DocumentWindow::copy);
        connect(pasteAction, &QAction::triggered, window, &DocumentWindow::paste);
        connect(deleteAction, &QAction::triggered, window, &DocumentWindow::del);
        connect(selectAllAction, &QAction::triggered, window, &DocumentWindow::selectAll);
    }

    auto addGroup = [menu](std::initializer_list<QString> texts) {
        auto* group = new QActionGroup(menu);
        group->setExclusive(true);
        int value = 0;
        for (const QString& text : texts) {
            QAction* action = menu->addAction(text);
            action->setCheckable(true);
            action->setData(value++);
            group->addAction(action);
        }
        return group;
    };

    menu->addSeparator();
    sigMethodGroup = addGroup({tr("&Sequential"), tr("Para&llel"), tr("&Random")});
    connect(sigMethodGroup, &QActionGroup::triggered, this,
            &NetworkView::contextMenuNodeSigMethodChanged);
    menu->addSeparator();
    shuffleAction = menu->addAction(tr("S&huffle Notes"));
    connect(shuffleAction, &QAction::triggered, this, &NetworkView::shuffleNodeNotesInSelection);
    menu->addSeparator();
    playStopToggleText = tr("&Toggle Play / Stop");
    playText = tr("&Play");
    stopText = tr("&Stop");
    playStopAction = menu->addAction(playStopToggleText);
    connect(playStopAction, &QAction::triggered, this, &NetworkView::playStopEntryChosen);
    menu->addSeparator();
    muteAction = menu->addAction(tr("&Mute"));
    muteAction->setCheckable(true);
    menu->addSeparator();
    edgePathGroup = addGroup({tr("City &Block"), tr("City Block &Flipped"), tr("Direc&t")});
    connect(edgePathGroup, &QActionGroup::triggered, this,
            &NetworkView::contextMenuEdgePathChanged);
    menu->addSeparator();
    wormholeAction = menu->addAction(tr("&Wormhole"));
    wormholeAction->setCheckable(true);
}

int NetworkView::contextMenuNodeSigMethod() const
{
    return sigMethodGroup ? checkedData(sigMethodGroup) : -1;
}

void NetworkView::setContextMenuNodeSigMethod(int method)
{
    if (sigMethodGroup)
        checkData(sigMethodGroup, method);
}

int NetworkView::contextMenuEdgePath() const
{
    return edgePathGroup ? checkedData(edgePathGroup) : -1;
}

void NetworkView::setContextMenuEdgePath(int path)
{
    if (edgePathGroup)
        checkData(edgePathGroup, path);
}

QHash<QmdIndex, QSet<QString>> NetworkView::selectedItemsOfType(int elementType,
                                                                const QString& key) const
{
    QHash<QmdIndex, QSet<QString>> items;
    if (!controller || !networkScene)
        return items;
    for (const QmdItemId id : networkScene->selectedElementIds()) {
        if (controller->elementType(id) == elementType)
            items[controller->elementIndex(id)].insert(key);
    }
    return items;
}

void NetworkView::unbindContextMenu()
{
    if (!controller || !m_contextMenu)
        return;
    controller->unbind(this, "contextMenuEdgePath");
    controller->unbind(wormholeAction, "checked");
    controller->unbind(this, "contextMenuNodeSigMethod");
    controller->unbind(muteAction, "checked");
}

void NetworkView::contextMenuEvent(QContextMenuEvent* event)
{
    // A text box being edited shows its own menu.
    if (!m_contextMenu || !networkScene || !controller || networkScene->focusItem()) {
        QGraphicsView::contextMenuEvent(event);
        return;
    }

    const QmdItemIdSet ids = networkScene->selectedElementIds();
    cutAction->setEnabled(!ids.isEmpty());
    copyAction->setEnabled(!ids.isEmpty());
    deleteAction->setEnabled(!ids.isEmpty());
    pasteAction->setEnabled(QmdKelvoController::canPaste());
    for (QActionGroup* group : {edgePathGroup, sigMethodGroup})
        group->setVisible(false);
    for (QAction* action : {wormholeAction, shuffleAction, muteAction, playStopAction})
        action->setVisible(false);
    unbindContextMenu();

    QGraphicsItem* clicked = itemAt(event->pos());
    if (clicked)
        clicked = clicked->topLevelItem();
    // An element that is not selected gets the edit entries only.
    if (!ids.isEmpty() && !(clicked && !clicked->isSelected())) {
        bool edges = false;
        bool nodes = false;
        bool voiceGroups = false;
        for (const QmdItemId id : ids) {
            switch (controller->elementType(id)) {
            case QmdKelvo::EdgeElement:
                edges = true;
                break;
            case QmdKelvo::NodeElement:
                nodes = true;
                break;
            case QmdKelvo::VoiceGroupElement:
                voiceGroups = true;
                break;
            default:
                break;
            }
        }

        if (edges) {
            edgePathGroup->setVisible(true);
            wormholeAction->setVisible(true);
            // Edges whose paths differ check "City Block", as an edge without a path does.
            controller->bind(this, "contextMenuEdgePath", SIGNAL(contextMenuEdgePathChanged()),
                             selectedItemsOfType(QmdKelvo::EdgeElement, K::Path),
                             int(QmdKelvo::CityBlock), int(QmdKelvo::CityBlock), tr("Path"));
            controller->bind(wormholeAction, "checked", SIGNAL(toggled(bool)),
                             selectedItemsOfType(QmdKelvo::EdgeElement, K::IsWormhole), false,
                             false, tr("Wormhole"));
        }
        QHash<QmdIndex, QSet<QString>> muted;
        if (nodes) {
            sigMethodGroup->setVisible(true);
            controller->bind(this, "contextMenuNodeSigMethod",
                             SIGNAL(contextMenuNodeSigMethodChanged()),
                             selectedItemsOfType(QmdKelvo::NodeElement, K::SignallingMethod), -1,
                             -1, tr("Signalling"));
            muted.insert(selectedItemsOfType(QmdKelvo::NodeElement, K::DontPlayNote));
        }
        if (voiceGroups) {
            muted.insert(selectedItemsOfType(QmdKelvo::VoiceGroupElement, K::DontPlayNote));
            updatePlayStopAction();
        }
        if (!muted.isEmpty()) {
            muteAction->setVisible(true);
            controller->bind(muteAction, "checked", SIGNAL(toggled(bool)), muted, false, false,
                             tr("Mute"));
        }
    }

    m_contextMenu->popup(event->globalPos());
    event->accept();
}

void NetworkView::updatePlayStopAction()
{
    if (!playStopAction)
        return;
    // A group stops by itself once its voices have all ended, so the state can change while
    // the menu is open: the entry acts on what it showed.
    playStopPlaying.clear();
    playStopIdle.clear();
    if (controller && networkScene) {
        for (const QmdItemId id : networkScene->selectedElementIds()) {
            if (controller->elementType(id) != QmdKelvo::VoiceGroupElement)
                continue;
            (controller->isVoiceGroupIterating(id) ? playStopPlaying : playStopIdle).append(id);
        }
    }
    const bool playing = !playStopPlaying.isEmpty();
    const bool idle = !playStopIdle.isEmpty();
    if (!playing && !idle) {
        playStopAction->setVisible(false);
        return;
    }
    playStopAction->setText(playing && idle ? playStopToggleText : playing ? stopText : playText);
    playStopAction->setVisible(true);
    const AbstractSync* clock = controller->sync();
    playStopAction->setEnabled(clock && clock->isPlaying());
}

void NetworkView::playStopEntryChosen()
{
    if (!controller)
        return;
    if (!playStopPlaying.isEmpty())
        controller->requestStopVoiceGroups(playStopPlaying);
    if (!playStopIdle.isEmpty())
        controller->requestStartVoiceGroups(playStopIdle, 1.0);
}

void NetworkView::toggleSelectedVoiceGroupsPlayStop()
{
    if (!controller || !networkScene)
        return;
    QmdItemIdList playing;
    QmdItemIdList idle;
    for (const QmdItemId id : networkScene->selectedElementIds()) {
        if (controller->elementType(id) == QmdKelvo::VoiceGroupElement)
            (controller->isVoiceGroupIterating(id) ? playing : idle).append(id);
    }
    if (!playing.isEmpty())
        controller->requestStopVoiceGroups(playing);
    if (!idle.isEmpty())
        controller->requestStartVoiceGroups(idle, 1.0);
}

void NetworkView::shuffleNodeNotesInSelection()
{
    if (controller && networkScene)
        controller->requestShuffleNodeNotes(networkScene->selectedElementIds());
}

void NetworkView::onPlaybackStateChanged(bool playing)
{
    // Voice groups pulse only while the transport plays.
    if (!playing && networkScene)
        networkScene->setVoiceGroupPulseRunning(false);
    if (playStopAction && playStopAction->isVisible())
        playStopAction->setEnabled(playing);
}

// ---- Keys and double clicks ------------------------------------------------------------------

void NetworkView::keyPressEvent(QKeyEvent* event)
{
    // A text box being edited takes every key.
    const bool itemHasFocus = networkScene && networkScene->focusItem();
    QGraphicsView::keyPressEvent(event);
    if (itemHasFocus || !networkScene || !controller)
        return;

    switch (event->key()) {
    case Qt::Key_Escape:
        cancelInteraction();
        event->accept();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (DocumentWindow* window = actionWindow())
            window->del();
        event->accept();
        break;
    case Qt::Key_Shift:
        if (previewEdge) {
            previewEdge->setPathType(QmdKelvo::CityBlockFlipped);
            previewEdge->updatePath();
        }
        break;
    case Qt::Key_Alt:
        if (tool == SelectionTool) {
            const AbstractSync* clock = controller->sync();
            if (clock && clock->isPlaying())
                networkScene->setVoiceGroupPulseRunning(true);
        } else if (tool == ZoomTool) {
            setZoomDirection(true);
        }
        break;
    default:
        break;
    }
}

void NetworkView::keyReleaseEvent(QKeyEvent* event)
{
    QGraphicsView::keyReleaseEvent(event);
    // A key held down repeats as releases and presses.
    if (!networkScene || !controller || event->isAutoRepeat())
        return;
    switch (event->key()) {
    case Qt::Key_Alt:
        networkScene->setVoiceGroupPulseRunning(false);
        setZoomDirection(false);
        break;
    case Qt::Key_Shift:
        if (previewEdge) {
            previewEdge->setPathType(QmdKelvo::CityBlock);
            previewEdge->updatePath();
        }
        break;
    default:
        break;
    }
}

void NetworkView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Only the selection tool takes double clicks (which open a text box's editor).
    if (networkScene && controller && event->button() == Qt::LeftButton && tool == SelectionTool)
        QGraphicsView::mouseDoubleClickEvent(event);
}

void NetworkView::focusOutEvent(QFocusEvent* event)
{
    // Notes played after the focus comes back start afresh.
    endMidiEntryChord();
    QGraphicsView::focusOutEvent(event);
}

// ---- MIDI entry ------------------------------------------------------------------------------

void NetworkView::customEvent(QEvent* event)
{
    if (const MidiEvent* midi = MidiEvent::entryEvent(event)) {
        enterMidiEvent(*midi);
        return;
    }
    QGraphicsView::customEvent(event);
}

void NetworkView::endMidiEntryChord()
{
    midiEntryChordStarted = false;
    midiEntryChordNotes.clear();
    midiEntryBaseTexts.clear();
}

void NetworkView::enterMidiEvent(const MidiEvent& event)
{
    const QVector<uchar>& bytes = event.bytes();
    if (bytes.size() != 3)
        return;
    const int status = bytes.at(0) & 0xF0;
    if (status == 0x80 || (status == 0x90 && bytes.at(2) == 0)) {
        endMidiEntryChord();
        return;
    }
    if (status != 0x90)
        return;

    const QString pitchName = QmdKelvoController::noteName(bytes.at(1));
    const QString velocity = QString::number(bytes.at(2));
    midiEntryChordNotes << QStringLiteral("%1:%2:100%").arg(pitchName, velocity);
    const bool shift = event.modifiers().testFlag(Qt::ShiftModifier);

    if (controller && networkScene) {
        // One undo step for all the elements that one note changes.
        QmdRequestId rid = 0;
        for (const QmdItemId id : networkScene->selectedElementIds()) {
            const QmdIndex element = controller->elementIndex(id);
            QHash<QString, QVariant> pairs;
            switch (controller->elementType(id)) {
            case QmdKelvo::NodeElement: {
                QString text;
                if (!midiEntryChordStarted) {
                    const QString base = controller->data(K::Notes, element).toString();
                    midiEntryBaseTexts.insert(id, base);
                    text = shift ? base + QLatin1Char('\n') : QString();
                    text += midiEntryChordNotes.constLast();
                } else {
                    // The notes held together, as a parallel group of one note per line.
                    if (shift) {
                        const auto base = midiEntryBaseTexts.constFind(id);
                        text = (base != midiEntryBaseTexts.cend()
                                    ? *base
                                    : controller->data(K::Notes, element).toString())
                            + QLatin1Char('\n');
                    }
                    text += QStringLiteral("[\n ") + midiEntryChordNotes.join(QStringLiteral("\n "))
                        + QStringLiteral("\n]");
                }
                pairs.insert(K::Notes, text);
                break;
            }
            case QmdKelvo::VoiceGroupElement:
                pairs.insert(K::InitialPitch, pitchName);
                pairs.insert(K::InitialVelocity, velocity);
                break;
            default:
                break;
            }
            if (pairs.isEmpty())
                continue;
            QmdRequestOptions options(tr("MIDI Entry"));
            options.id = rid;
            rid = controller->requestSetData(pairs, element, options);
        }
    }
    midiEntryChordStarted = true;
}

// The document window's tool bar: the tool chooser, the transport bar and its position
// display.

#include "KelvoWindow.h"

#include "AbstractSync.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QActionGroup>
#include <QMenu>
#include <QTimer>

namespace K = QmdKelvoKeys;

namespace {

// The characters of the glyph strips, one 20 × 36 cell each from the top.
const QString GlyphOrder = QStringLiteral("0123456789,.:");
const QSize GlyphCell(20, 36);
// The size a glyph shows at in its label, in device-independent pixels.
const QSize GlyphShown(10, 18);

const char* const ToolBarStyleSheet = R"(
#ToolChooserForm > QToolButton, QPushButton { border: none; }
#gotoStartButton { image: url(:/images/MasterControls/GotoStartNormal.png); }
#gotoStartButton:pressed { image: url(:/images/MasterControls/GotoStartPressed.png); }
#playPauseButton { image: url(:/images/MasterControls/PlayNormal.png); }
#playPauseButton:pressed { image: url(:/images/MasterControls/PlayPressed.png); }
#playPauseButton:checked { image: url(:/images/MasterControls/PauseNormal.png); }
#playPauseButton:checked:pressed { image: url(:/images/MasterControls/PausePressed.png); }
#midiTriggeringButton { image: url(:/images/MasterControls/TriggeringOffNormal.png); }
#midiTriggeringButton:pressed { image: url(:/images/MasterControls/TriggeringOffPressed.png); }
#midiTriggeringButton:checked { image: url(:/images/MasterControls/TriggeringOnNormal.png); }
#midiTriggeringButton:checked:pressed {
    image: url(:/images/MasterControls/TriggeringOnPressed.png);
}
#playAndTriggeringBackgroundWidget {
    border-image: url(:/images/MasterControls/PlayAndTriggeringBackground.png);
}
QLabel { color: rgb(40, 40, 40); }
#displayModeButton { border: none; background: transparent; padding-right: 9px; }
#displayModeButton::menu-indicator {
    image: url(:/images/DropDownSymbol.png);
    subcontrol-origin: padding;
    subcontrol-position: right center;
}
#lcdFrame {
    margin: 0;
    border-image: url(:/images/LCDNormal.png) 6 9 6 9;
    border-top: 6px transparent;
    border-bottom: 6px transparent;
    border-right: 9px transparent;
    border-left: 10px transparent;
}
#tempoSpinBox { border: none; background: transparent; }
#selectionTool { border-image: url(:/images/Chooser/LeftNormal.png); }
#selectionTool:hover { border-image: url(:/images/Chooser/LeftHover.png); }
#selectionTool:pressed, #selectionTool:checked {
    border-image: url(:/images/Chooser/LeftPressed.png);
}
#zoomTool, #nodeAndEdgeTool, #voiceGroupTool {
    border-image: url(:/images/Chooser/MiddleNormal.png);
}
#zoomTool:hover, #nodeAndEdgeTool:hover, #voiceGroupTool:hover {
    border-image: url(:/images/Chooser/MiddleHover.png);
}
#zoomTool:pressed, #zoomTool:checked, #nodeAndEdgeTool:pressed, #nodeAndEdgeTool:checked,
#voiceGroupTool:pressed, #voiceGroupTool:checked {
    border-image: url(:/images/Chooser/MiddlePressed.png);
}
#textBoxTool { border-image: url(:/images/Chooser/RightNormal.png); }
#textBoxTool:hover { border-image: url(:/images/Chooser/RightHover.png); }
#textBoxTool:pressed, #textBoxTool:checked {
    border-image: url(:/images/Chooser/RightPressed.png);
}
)";

QFont pixelFont(int pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    return font;
}

} // namespace

void KelvoWindow::setUpToolBar()
{
    // The tool chooser: a button for each tool action.
    auto* chooser = new QWidget(ui.toolBar);
    toolChooserUi.setupUi(chooser);
    const QList<QToolButton*> toolButtons {toolChooserUi.selectionTool, toolChooserUi.zoomTool,
                                           toolChooserUi.nodeAndEdgeTool,
                                           toolChooserUi.voiceGroupTool, toolChooserUi.textBoxTool};
    for (int i = 0; i < toolButtons.size(); ++i)
        toolButtons.at(i)->setDefaultAction(toolActions.value(uint(i)));
    ui.toolBar->addWidget(chooser);

    auto* spacer = new QWidget(ui.toolBar);
    spacer->setFixedHeight(0);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ui.toolBar->addWidget(spacer);

    auto* transport = new QFrame(ui.toolBar);
    playbackUi.setupUi(transport);
    ui.toolBar->addWidget(transport);
    playbackUi.playAndTriggeringBackgroundWidget->setAttribute(Qt::WA_StyledBackground);

    playbackUi.gotoStartButton->setFlat(true);
    connect(playbackUi.gotoStartButton, &QPushButton::clicked, m_controller,
            &QmdKelvoController::requestGotoStart);

    // A click asks for the new state; the button shows the state the transport reports, which
    // may come from the MIDI thread, without asking again.
    playbackUi.playPauseButton->setCheckable(true);
    playbackUi.playPauseButton->setFlat(true);
    connect(playbackUi.playPauseButton, &QPushButton::clicked, m_controller,
            &QmdKelvoController::requestSetPlayback);
    connect(m_controller, &QmdKelvoController::playbackStateChanged, this, [this](bool playing) {
        const QSignalBlocker blocker(playbackUi.playPauseButton);
        playbackUi.playPauseButton->setChecked(playing);
    });

    playbackUi.midiTriggeringButton->setCheckable(true);
    playbackUi.midiTriggeringButton->setFlat(true);
    m_controller->bind(playbackUi.midiTriggeringButton, "checked", SIGNAL(toggled(bool)),
                       K::MidiTriggeringEnabled, QmdIndex(), false, false, tr("MIDI Triggering"),
                       Qmd::NotUndoable);

    loadGlyphs();
    for (QLabel* label :
         {playbackUi.pal100000000s, playbackUi.pal10000000s, playbackUi.pal1000000s,
          playbackUi.pal1000000sComma, playbackUi.beat100000000s, playbackUi.beat10000000s,
          playbackUi.beat1000000s, playbackUi.beat1000000sComma})
        label->hide();
    timeLabels = {playbackUi.hr10s,  playbackUi.hr1s,     playbackUi.hrColon, playbackUi.min10s,
                  playbackUi.min1s,  playbackUi.minColon, playbackUi.sec10s,  playbackUi.sec1s,
                  playbackUi.secDot, playbackUi.ms100s,   playbackUi.ms10s,   playbackUi.ms1s};
    principalLabels = {playbackUi.pal100000s,    playbackUi.pal10000s, playbackUi.pal1000s,
                       playbackUi.pal1000sComma, playbackUi.pal100s,   playbackUi.pal10s,
                       playbackUi.pal1s,         playbackUi.pal1sDot,  playbackUi.div10s,
                       playbackUi.div1s};
    beatLabels = {playbackUi.beat100000s,    playbackUi.beat10000s, playbackUi.beat1000s,
                  playbackUi.beat1000sComma, playbackUi.beat100s,   playbackUi.beat10s,
                  playbackUi.beat1s,         playbackUi.beat1sDot,  playbackUi.pulse100s,
                  playbackUi.pulse10s,       playbackUi.pulse1s};

    setUpDisplayModeMenu();
    m_controller->bind(this, "playbackPosDisplayMode", SIGNAL(playbackPosDisplayModeChanged(int)),
                       K::PlaybackPosDisplayMode, QmdIndex(), 2, 2, tr("Playback Pos Display Mode"),
                       Qmd::NotUndoable);
    connect(displayModeMenu, &QMenu::triggered, this,
            &KelvoWindow::onDisplayModeMenuActionTriggered);

    playbackUi.bpmLabel->setFont(pixelFont(9));
    QSpinBox* tempo = playbackUi.tempoSpinBox;
    tempo->setFont(pixelFont(11));
    tempo->setFrame(false);
    tempo->setRange(1, 999);
    // A value counts once it is entered, so that each entry is one undo step.
    tempo->setKeyboardTracking(false);
    m_controller->bind(tempo, "value", SIGNAL(valueChanged(int)), K::Tempo, QmdIndex(), 0,
                       QVariant(), tr("Tempo"));

    ui.toolBar->setStyleSheet(QString::fromLatin1(ToolBarStyleSheet));
    // The window stays wide enough for the chooser and the whole transport bar: a tool bar
    // that is too narrow would fold them away behind its extension button.
    ui.toolBar->ensurePolished();
    setMinimumWidth(ui.toolBar->sizeHint().width());

    positionTimer = new QTimer(this);
    positionTimer->setInterval(32);
    connect(positionTimer, &QTimer::timeout, this,
            &KelvoWindow::updatePlaybackPosDisplayForCurrentMode);
    connect(m_controller, &QmdKelvoController::playbackStateChanged, this,
            &KelvoWindow::onPlaybackStateChanged);
    connect(m_controller, &QmdKelvoController::playbackJogged, this,
            &KelvoWindow::updatePlaybackPosDisplayForCurrentMode);
}

void KelvoWindow::setUpDisplayModeMenu()
{
    displayModeMenu = new QMenu(this);
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    const auto add = [&](const char* icon, const QString& text, int mode) {
        QAction* action = group->addAction(QIcon(QString::fromLatin1(icon)), text);
        action->setData(mode);
        action->setCheckable(true);
        displayModeMenu->addAction(action);
        displayModeMenu->addSeparator();
    };
    add(":/images/LCDTimeIcon.png", tr("Time"), PositionDisplay::Time);
    add(":/images/LCDPrincipalsIcon.png", tr("Principals"), PositionDisplay::Principals);
    add(":/images/LCDBeatsIcon.png", tr("Beats"), PositionDisplay::Beats);
    playbackUi.displayModeButton->setMenu(displayModeMenu);
    playbackUi.displayModeButton->setPopupMode(QToolButton::InstantPopup);
}

void KelvoWindow::loadGlyphs()
{
    // A cell is drawn at twice the size it shows at; on other screens it is scaled smoothly
    // once, here.
    const qreal ratio = devicePixelRatioF();
    const QSize target = (QSizeF(GlyphShown) * ratio).toSize();
    const auto cut = [&](QHash<QChar, QPixmap>& glyphs, const QString& strip) {
        const QPixmap cells(strip);
        for (int i = 0; i < GlyphOrder.size(); ++i) {
            QPixmap glyph = cells.copy(QRect(QPoint(0, GlyphCell.height() * i), GlyphCell));
            if (glyph.size() != target)
                glyph = glyph.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            glyph.setDevicePixelRatio(ratio);
            glyphs.insert(GlyphOrder.at(i), glyph);
        }
    };
    cut(solidChars, QStringLiteral(":/images/LCDSolidChars@2x.png"));
    cut(dimChars, QStringLiteral(":/images/LCDDimChars@2x.png"));
}

void KelvoWindow::setPlaybackPosDisplayMode(int mode)
{
    const int oldMode = m_playbackPosDisplayMode;
    m_playbackPosDisplayMode = mode;
    QIcon icon;
    QString toolTip;
    for (QAction* action : displayModeMenu->actions()) {
        if (action->isSeparator() || action->data().toInt() != mode)
            continue;
        if (!action->isChecked())
            action->setChecked(true);
        icon = action->icon();
        toolTip = action->toolTip();
    }
    updatePlaybackPosDisplayForCurrentMode();
    playbackUi.displayModeButton->setIcon(icon);
    playbackUi.displayModeButton->setToolTip(toolTip);
    if (mode >= PositionDisplay::Time && mode <= PositionDisplay::Beats)
        playbackUi.displayStackedWidget->setCurrentIndex(mode - 1);
    if (mode != oldMode)
        emit playbackPosDisplayModeChanged(mode);
}

void KelvoWindow::onDisplayModeMenuActionTriggered(QAction* action)
{
    setPlaybackPosDisplayMode(action->data().toInt());
}

void KelvoWindow::onPlaybackStateChanged(bool isPlaying)
{
    if (isPlaying)
        positionTimer->start();
    else
        positionTimer->stop();
    updatePlaybackPosDisplayForCurrentMode();
}

void KelvoWindow::showPlaces(const QList<QLabel*>& labels,
                             const QList<PositionDisplay::Place>& places)
{
    for (int i = 0; i < labels.size() && i < places.size(); ++i) {
        const PositionDisplay::Place& place = places.at(i);
        const QPixmap glyph = (place.solid ? solidChars : dimChars).value(place.character);
        QLabel* label = labels.at(i);
        // An unchanged place is left alone, so that only the places that move repaint.
        if (label->pixmap().cacheKey() != glyph.cacheKey())
            label->setPixmap(glyph);
    }
}

void KelvoWindow::updatePlaybackPosDisplayForCurrentMode()
{
    // Every reset of the document makes a new clock: it is asked for each time.
    const AbstractSync* clock = m_controller->sync();
    if (!clock)
        return;
    switch (m_playbackPosDisplayMode) {
    case PositionDisplay::Time:
        showPlaces(timeLabels, PositionDisplay::timePlaces(clock->nanosElapsed()));
        break;
    case PositionDisplay::Principals:
        showPlaces(principalLabels,
                   PositionDisplay::principalPlaces(
                       clock->ticksElapsed(),
                       m_controller->data(K::DivsPerPrincipal, QmdIndex()).toLongLong()));
        break;
    case PositionDisplay::Beats:
        showPlaces(beatLabels, PositionDisplay::beatPlaces(clock->pulsesElapsed()));
        break;
    default:
        break;
    }
}

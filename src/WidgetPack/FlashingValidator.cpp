#include "FlashingValidator.h"

#include <QTimeLine>
#include <QWidget>

namespace {

// The peak of the flash: light red on a light field, a deep red on a dark one, so that the
// field's text stays readable.
QColor flashColor(const QColor& base)
{
    return base.lightness() >= 128 ? QColor::fromRgbF(1.0f, 0.5f, 0.5f)
                                   : QColor::fromRgbF(0.6f, 0.12f, 0.12f);
}

QColor mixed(const QColor& from, const QColor& to, qreal t)
{
    const auto mix = [t](float a, float b) { return float(a + (b - a) * t); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()), 1.0f);
}

} // namespace

FlashingValidator::FlashingValidator(const QRegularExpression& rx, QWidget* widget)
    : QRegularExpressionValidator(rx, widget)
    , m_widget(widget)
    , m_timeLine(new QTimeLine(300, this))
{
    m_timeLine->setEasingCurve(QEasingCurve::SineCurve);
    m_timeLine->setUpdateInterval(16);
    m_timeLine->setLoopCount(1);
    connect(m_timeLine, &QTimeLine::valueChanged, this, &FlashingValidator::onTimeLineValueChanged);
    connect(m_timeLine, &QTimeLine::finished, this, &FlashingValidator::onTimeLineFinished);
}

FlashingValidator::~FlashingValidator() = default;

QValidator::State FlashingValidator::validate(QString& input, int& pos) const
{
    const State state = QRegularExpressionValidator::validate(input, pos);
    if (state == Invalid)
        flash();
    return state;
}

void FlashingValidator::fixup(QString& input) const
{
    if (input.endsWith(QLatin1Char(',')))
        input.chop(1);
}

void FlashingValidator::flash() const
{
    if (!m_widget)
        return;
    if (m_timeLine->state() == QTimeLine::Running) {
        m_timeLine->stop();
    } else {
        m_restingPalette = m_widget->palette();
        m_restingColor = m_restingPalette.color(m_widget->backgroundRole());
    }
    m_timeLine->setCurrentTime(0);
    m_timeLine->start();
}

bool FlashingValidator::isFlashing() const
{
    return m_timeLine->state() == QTimeLine::Running;
}

void FlashingValidator::onTimeLineValueChanged(qreal value)
{
    if (!m_widget)
        return;
    QPalette palette = m_widget->palette();
    palette.setBrush(m_widget->backgroundRole(),
                     mixed(m_restingColor, flashColor(m_restingColor), value));
    m_widget->setPalette(palette);
}

void FlashingValidator::onTimeLineFinished()
{
    if (m_widget)
        m_widget->setPalette(m_restingPalette);
}

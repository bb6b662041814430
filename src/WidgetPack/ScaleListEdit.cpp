#include "ScaleListEdit.h"

#include "FlashingValidator.h"

ScaleListEdit::ScaleListEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setValidator(new FlashingValidator(QRegularExpression(listPattern()), this));
}

ScaleListEdit::~ScaleListEdit() = default;

const QString& ScaleListEdit::listPattern()
{
    static const QString pattern
        = QStringLiteral("|(([0-9]{0,4}(/[1-9][0-9]{0,3})?)(,([0-9]{0,4}(/[1-9][0-9]{0,3})?))*)");
    return pattern;
}

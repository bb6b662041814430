#ifndef SCALELISTEDIT_H
#define SCALELISTEDIT_H

#include <QLineEdit>

// A line edit for a comma-separated list of scale ratios: each up to four digits with an
// optional "/" and a denominator of one to four digits that does not start with 0. The empty
// text is a valid list. Rejected keystrokes flash the field.
class ScaleListEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ScaleListEdit(QWidget* parent = nullptr);
    ~ScaleListEdit() override;

    static const QString& listPattern();
};

#endif // SCALELISTEDIT_H

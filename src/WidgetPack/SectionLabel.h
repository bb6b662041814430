#ifndef SECTIONLABEL_H
#define SECTIONLABEL_H

#include <QLabel>

// The heading of a section of a form. A class of its own only so that a style sheet can select
// it by name (the inspector draws it bold).
class SectionLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SectionLabel(QWidget* parent = nullptr);
    ~SectionLabel() override;
};

#endif // SECTIONLABEL_H

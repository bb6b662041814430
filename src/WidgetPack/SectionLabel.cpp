#include "SectionLabel.h"

SectionLabel::SectionLabel(QWidget* parent)
    : QLabel(parent)
{ }

SectionLabel::~SectionLabel() = default;

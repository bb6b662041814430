#include "NotesSyntaxHighligher.h"

#include "NotesEdit.h"

#include <QTextBlock>

NotesSyntaxHighligher::NotesSyntaxHighligher(NotesEdit* edit)
    : QSyntaxHighlighter(edit->document())
    , m_edit(edit)
{ }

NotesSyntaxHighligher::~NotesSyntaxHighligher() = default;

QColor NotesSyntaxHighligher::listColor(int kind)
{
    switch (kind) {
    case QmdKelvoController::PitchListToken:
        return QColor(0, 112, 214);
    case QmdKelvoController::VelocityListToken:
        return QColor(213, 0, 156);
    case QmdKelvoController::DurationListToken:
        return QColor(106, 165, 6);
    default:
        return QColor(Qt::black);
    }
}

QColor NotesSyntaxHighligher::commentColor()
{
    return QColor(100, 100, 100);
}

void NotesSyntaxHighligher::highlightBlock(const QString& text)
{
    if (!m_edit)
        return;
    // Every list that reaches into this line is coloured over its part of the line, so that a
    // list written over several lines is coloured on each of them.
    const int start = currentBlock().position();
    const int end = start + text.size();
    const QmdKelvoController::NotesTokenMap& lists = m_edit->lists();
    auto it = lists.upperBound(start);
    if (it != lists.cbegin())
        --it;
    for (; it != lists.cend() && it.key() < end; ++it) {
        const int from = qMax(it.key(), start);
        const int to = qMin(it.key() + it->first, end);
        if (to <= from)
            continue;
        QTextCharFormat format;
        format.setForeground(listColor(it->second));
        format.setFontCapitalization(QFont::AllLowercase);
        setFormat(from - start, to - from, format);
    }

    const int comment = text.indexOf(QLatin1String("//"));
    if (comment >= 0) {
        QTextCharFormat format;
        format.setForeground(commentColor());
        setFormat(comment, text.size() - comment, format);
    }
}

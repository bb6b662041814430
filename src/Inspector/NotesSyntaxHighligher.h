#ifndef NOTESSYNTAXHIGHLIGHER_H
#define NOTESSYNTAXHIGHLIGHER_H

#include <QPointer>
#include <QSyntaxHighlighter>

class NotesEdit;

// Colours a notes editor's text from the editor's list map: pitch, velocity and duration
// lists in colours of their own, shown in lower case, and comments in grey, shown as typed.
class NotesSyntaxHighligher : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit NotesSyntaxHighligher(NotesEdit* edit);
    ~NotesSyntaxHighligher() override;

    static QColor listColor(int kind);
    static QColor commentColor();

protected:
    void highlightBlock(const QString& text) override;

private:
    QPointer<NotesEdit> m_edit;
};

#endif // NOTESSYNTAXHIGHLIGHER_H

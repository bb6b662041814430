#ifndef TEXTBOXDOCUMENT_H
#define TEXTBOXDOCUMENT_H

#include <QCache>
#include <QPair>
#include <QTextDocument>
#include <QUrl>

// The rich text of a text box. Its HTML comes from files and from the clipboard, so the
// resources it names are served from the program's own resources ("qrc:") and from the text
// itself ("data:") only: nothing else is ever read, neither local files nor the network. An
// image that cannot be served is an empty, transparent one, so that nothing falls back to
// reading the name as a file.
class TextBoxDocument : public QTextDocument
{
    Q_OBJECT

public:
    explicit TextBoxDocument(QObject* parent = nullptr);
    ~TextBoxDocument() override;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    // What a name stands for never changes, and the text is laid out and drawn often: what
    // was served is kept, up to a total size.
    QCache<QPair<int, QUrl>, QVariant> served;
};

#endif // TEXTBOXDOCUMENT_H

#ifndef SQUEEZEDTEXT_H
#define SQUEEZEDTEXT_H

#include <QCheckBox>
#include <QLabel>

// A check box and a label that shorten their text with an ellipsis (in the middle unless set
// otherwise) to the width they get. `fullText` keeps the whole text; the displayed text
// (`text()`) is the shortened one. Both ask for the full text's width and need none.

class SqueezedTextCheckBox : public QCheckBox
{
    Q_OBJECT
    Q_PROPERTY(Qt::TextElideMode textElideMode READ textElideMode WRITE setTextElideMode)

public:
    explicit SqueezedTextCheckBox(QWidget* parent = nullptr);
    explicit SqueezedTextCheckBox(const QString& text, QWidget* parent = nullptr);
    ~SqueezedTextCheckBox() override;

    const QString& fullText() const { return m_fullText; }
    Qt::TextElideMode textElideMode() const { return m_elideMode; }
    void setTextElideMode(Qt::TextElideMode mode);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The width of indicator, spacing and margins beside the text.
    void updateDecorationWidth();
    void squeeze();

    QString m_fullText;
    Qt::TextElideMode m_elideMode = Qt::ElideMiddle;
    int m_decorationWidth = 0;
};

class SqueezedTextLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(Qt::TextElideMode textElideMode READ textElideMode WRITE setTextElideMode)

public:
    explicit SqueezedTextLabel(QWidget* parent = nullptr);
    explicit SqueezedTextLabel(const QString& text, QWidget* parent = nullptr);
    ~SqueezedTextLabel() override;

    const QString& fullText() const { return m_fullText; }
    Qt::TextElideMode textElideMode() const { return m_elideMode; }
    void setTextElideMode(Qt::TextElideMode mode);
    virtual void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setText(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void squeeze();

    QString m_fullText;
    Qt::TextElideMode m_elideMode = Qt::ElideMiddle;
};

#endif // SQUEEZEDTEXT_H

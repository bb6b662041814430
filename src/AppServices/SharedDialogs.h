#ifndef SHAREDDIALOGS_H
#define SHAREDDIALOGS_H

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>

class QColorDialog;
class QFontDialog;
class QWidget;

// The one font dialog and the one colour dialog of the application, which any editor borrows
// by making itself their receiver. Both are parentless, non-modal, without buttons and never
// the platform's native dialogs. One receiver at a time: connecting another silently drops
// the first, and a receiver's destruction drops it too.
class SharedDialogs : public QObject
{
    Q_OBJECT

public:
    explicit SharedDialogs(QObject* parent = nullptr);
    ~SharedDialogs() override;

    QFontDialog* fontDialog() const { return m_fontDialog; }
    QColorDialog* colorDialog() const { return m_colorDialog; }

    // Shows the dialog when it is hidden and raises it; then activates `keepActive`, when
    // given, so that the keyboard stays in the document while the dialog floats.
    void showFontDialog(QWidget* keepActive);
    void showColorDialog(QWidget* keepActive);

    // Makes `receiver` the single target: the dialog's current-font-changed and
    // font-selected signals (current-colour-changed and colour-selected) both call `member`
    // (given as SLOT(name(QFont)) or SLOT(name(QColor))).
    void connectFontDialog(QObject* receiver, const char* member);
    void connectColorDialog(QObject* receiver, const char* member);
    void disconnectFontDialog();
    void disconnectColorDialog();

    // Sets the dialog's current value without calling the receiver back.
    void updateFontDialog(const QFont& font);
    void updateColorDialog(const QColor& color);

    bool isFontDialogVisible() const;
    bool isColorDialogVisible() const;
    QObject* fontDialogReceiver() const { return m_fontReceiver; }
    QObject* colorDialogReceiver() const { return m_colorReceiver; }

private:
    QFontDialog* m_fontDialog;
    QColorDialog* m_colorDialog;
    QPointer<QObject> m_fontReceiver;
    QPointer<QObject> m_colorReceiver;
};

#endif // SHAREDDIALOGS_H

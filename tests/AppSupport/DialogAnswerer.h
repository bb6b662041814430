#ifndef DIALOGANSWERER_H
#define DIALOGANSWERER_H

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

class QFileDialog;

// Answers the modal dialogs (message boxes, file dialogs) that the code under test opens,
// in the order they appear, while it waits for them in their own event loops. Each answer is
// given once to the next new modal widget; the texts of each message box met are kept.
class DialogAnswerer : public QObject
{
    Q_OBJECT

public:
    typedef std::function<void(QWidget*)> Answer;

    explicit DialogAnswerer(QObject* parent = nullptr);
    ~DialogAnswerer() override;

    // Queues an answer for the next dialog.
    void answer(const Answer& answer);
    // Clicks the standard button of the next message box.
    void clickButton(QMessageBox::StandardButton button);
    // Clicks the button of the next message box whose text is `text`.
    void clickButton(const QString& text);
    // Chooses `path` in the next file dialog and accepts it; an empty path rejects it.
    void chooseFile(const QString& path);

    // Answers still queued.
    int pending() const { return int(m_answers.size()); }
    // "text / informative text" of every message box answered, in order.
    const QStringList& messages() const { return m_messages; }
    // The number of dialogs answered.
    int answered() const { return m_answered; }

private:
    void poll();

    QQueue<Answer> m_answers;
    QPointer<QWidget> m_last;
    QStringList m_messages;
    int m_answered = 0;
    QTimer m_timer;
};

#endif // DIALOGANSWERER_H

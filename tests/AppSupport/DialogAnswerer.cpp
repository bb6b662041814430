#include "DialogAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

DialogAnswerer::DialogAnswerer(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::poll);
    m_timer.start();
}

DialogAnswerer::~DialogAnswerer() = default;

void DialogAnswerer::answer(const Answer& answer)
{
    m_answers.enqueue(answer);
}

void DialogAnswerer::clickButton(QMessageBox::StandardButton button)
{
    answer([button](QWidget* widget) {
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            if (QAbstractButton* b = box->button(button))
                b->click();
        }
    });
}

void DialogAnswerer::clickButton(const QString& text)
{
    answer([text](QWidget* widget) {
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == text) {
                    b->click();
                    return;
                }
            }
        }
    });
}

void DialogAnswerer::chooseFile(const QString& path)
{
    answer([path](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (!dialog)
            return;
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed into the name field, as a user would: the field wins over a selection that
        // the dialog restores from its saved state.
        dialog->selectFile(path);
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

void DialogAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_last || m_answers.isEmpty() || !modal->isVisible())
        return;
    m_last = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        m_messages << box->text() + QStringLiteral(" / ") + box->informativeText();
    ++m_answered;
    m_answers.dequeue()(modal);
}

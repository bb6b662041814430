// Editing a text box in place, on a text box that holds some 2,000 characters of rich text.

#include "EditorBench.h"
#include "GraphicsTextBoxItem.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// About `length` characters of annotation, a paragraph per line, with bold, italic and colour.
QString richTextOfLength(int length)
{
    QString html = QStringLiteral("<html><body>");
    int characters = 0;
    for (int i = 1; characters < length; ++i) {
        const QString line = QStringLiteral("<p><b>Part %1</b>: <i>slowly</i>, then "
                                            "<span style=\"color:#ffcc00\">G major</span> "
                                            "into the bridge, voices %2 and %3</p>")
                                 .arg(i)
                                 .arg(i % 20)
                                 .arg((i + 7) % 20);
        html += line;
        characters += 60;
    }
    return html + QStringLiteral("</body></html>");
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

// Opening and closing the editor without typing; one keystroke in the open editor with the
// repaint of a 1920 x 1080 view at 100 % (median and worst of 100), against one frame.
EDITOR_BENCH_SECTION(textBox, 50)
{
    QmdKelvoController* c = bench.controller();
    NetworkScene* scene = bench.scene();
    const QmdItemId id = bench.textBoxes.first();
    c->requestSetData(QmdKelvoKeys::Text, richTextOfLength(2000), c->elementIndex(id));
    EditorBench::settle();
    auto* item = static_cast<GraphicsTextBoxItem*>(scene->elementItem(id)->graphicsItem());
    item->closeEditor();
    EditorBench::settle();

    NetworkView* view = bench.view();
    bench.setZoomScale(1.0);
    view->centerOn(item);
    EditorBench::settle();
    std::printf("  text box of %lld characters, %.0f x %.0f\n",
                qlonglong(item->toPlainText().size()), item->boundingRect().width(),
                item->boundingRect().height());

    EditorBench::report("editor opened and closed, nothing typed",
                        EditorBench::medianMs(20,
                                              [&] {
                                                  item->openEditor(QPointF(0, 0));
                                                  item->closeEditor();
                                                  QApplication::sendPostedEvents(
                                                      nullptr, QEvent::DeferredDelete);
                                              }),
                        16.0);

    // In the middle of the text: a letter typed, then taken back.
    item->openEditor(item->boundingRect().center());
    QTextEdit* edit = item->editor()->textEdit();
    std::vector<double> keystrokes;
    for (int i = 0; i < 101; ++i) {
        const bool typing = i % 2 == 0;
        QKeyEvent press(QEvent::KeyPress, typing ? Qt::Key_X : Qt::Key_Backspace, Qt::NoModifier,
                        typing ? QStringLiteral("x") : QString());
        QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier, press.text());
        QElapsedTimer timer;
        timer.start();
        QApplication::sendEvent(edit, &press);
        QApplication::sendEvent(edit, &release);
        view->viewport()->repaint();
        if (i > 0)
            keystrokes.push_back(msSince(timer));
    }
    std::sort(keystrokes.begin(), keystrokes.end());
    EditorBench::report("keystroke with repaint, median", keystrokes.at(keystrokes.size() / 2),
                        16.0);
    EditorBench::report("keystroke with repaint, worst", keystrokes.back(), 16.0);
    item->closeEditor();
    EditorBench::settle();
}

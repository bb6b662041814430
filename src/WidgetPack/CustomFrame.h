#ifndef CUSTOMFRAME_H
#define CUSTOMFRAME_H

#include <QFrame>
#include <QPixmap>

// A frame that paints a picture instead of its frame: `pixmap` at its top left corner while
// `showPixmap` is set, nothing of its own otherwise.
class CustomFrame : public QFrame
{
    Q_OBJECT

public:
    explicit CustomFrame(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~CustomFrame() override;

    QPixmap pixmap;
    bool showPixmap = false;

protected:
    void paintEvent(QPaintEvent* event) override;
};

#endif // CUSTOMFRAME_H

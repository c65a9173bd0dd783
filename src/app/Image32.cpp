#include "app/Image32.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace corvane {

TImage32::TImage32(QWidget* parent) : QWidget(parent) {
    // Opaque: the buffer covers every pixel, so nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QWidget::resize(192, 192);
    SetBounds(192, 192);
    TakeParentColor();
}

void TImage32::TakeParentColor() {
    // ParentColor: the view takes the window's button-face colour.
    const QColor face = palette().color(QPalette::Button);
    SetColor(static_cast<TColor32>(face.rgb()) & 0x00FFFFFFu);
}

void TImage32::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) TakeParentColor();
    QWidget::changeEvent(event);
}

void TImage32::RequestRepaint() {
    update();
}

void TImage32::SetDeviceBounds() {
    // The view paints in device pixels, so a scaled screen shows the picture
    // sharp instead of enlarged from a buffer of the logical size.
    const qreal ratio = devicePixelRatioF();
    SetBounds(static_cast<int32_t>(width() * ratio + 0.5),
              static_cast<int32_t>(height() * ratio + 0.5));
}

void TImage32::resizeEvent(QResizeEvent* event) {
    SetDeviceBounds();
    QWidget::resizeEvent(event);
}

void TImage32::paintEvent(QPaintEvent*) {
    // A hidden widget gets its resize event late; paint at the real size.
    SetDeviceBounds();
    const TBitmap32& buffer = Paint();
    if (buffer.Empty() || Width() == 0 || Height() == 0) return;
    PaintBuffer().Lock();
    // The buffer's alpha is not used on screen (the difference picture has
    // alpha 0): RGB32 shows the colour bytes only.
    QImage image(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                 buffer.Width() * 4, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatioF());
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image, QRect(0, 0, Width(), Height()));
    PaintBuffer().Unlock();
}

void TImage32::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    event->accept();
}

void TImage32::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (pressed_ && inside) emit clicked();
    pressed_ = false;
    event->accept();
}

}  // namespace corvane

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>

#include "app/Image32.h"

namespace corvane {
namespace {

// What reaches the screen is the paint buffer's viewport, pixel for pixel.
TEST(Image32Widget, ScreenShowsTheFinishedBuffer) {
    TImage32 view;
    view.resize(217, 273);
    view.SetScaleMode(TScaleMode::smResize);
    view.Bitmap().SetSize(640, 480);
    for (int32_t y = 0; y < 480; ++y)
        for (int32_t x = 0; x < 640; ++x)
            view.Bitmap().SetPixel(x, y,
                                   0xFF000000u | uint32_t((x * 7) & 255) << 16 | uint32_t(y & 255));
    view.Invalidate();
    const QImage screen = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.width(), 217);
    ASSERT_EQ(screen.height(), 273);
    const TBitmap32& buffer = view.PaintBuffer();
    for (int y = 0; y < 273; y += 3)
        for (int x = 0; x < 217; x += 3)
            ASSERT_EQ(screen.pixel(x, y) & 0xFFFFFFu, buffer.GetPixel(x, y) & 0xFFFFFFu)
                << x << "," << y;
    // Below the picture: the window's button-face colour.
    const QColor face = view.palette().color(QPalette::Button);
    EXPECT_EQ(screen.pixel(100, 200) & 0xFFFFFFu, face.rgb() & 0xFFFFFFu);
}

TEST(Image32Widget, ClickInsideFires) {
    TImage32 view;
    view.resize(50, 50);
    int clicks = 0;
    QObject::connect(&view, &TImage32::clicked, [&clicks] { ++clicks; });
    view.show();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 10), QPointF(10, 10),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QApplication::sendEvent(&view, &release);
    EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace corvane

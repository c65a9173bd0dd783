// TImage32: the picture view control. All painting decisions are made by
// TCustomImage32 into its paint buffer; this widget only puts the finished
// buffer on the screen through a QImage and reports clicks.
#pragma once

#include <QWidget>

#include "picture/view/Image32.h"

namespace corvane {

class TImage32 : public QWidget, public TCustomImage32 {
    Q_OBJECT
  public:
    explicit TImage32(QWidget* parent = nullptr);

    // The view's OnClick: a press and release of a mouse button inside it.
  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void RequestRepaint() override;

  private:
    void TakeParentColor();
    void SetDeviceBounds();
    bool pressed_ = false;
};

}  // namespace corvane

#include "app/StatusLine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace corvane {

namespace {

// Paints its text elided in the middle when the line is too short.
class TMessageLabel : public QLabel {
  public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return QSize(0, fontMetrics().height() + 4); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect area = contentsRect();
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

}  // namespace

TStatusLine::TStatusLine(QWidget* parent) : QFrame(parent) {
    setObjectName("StatusLine");
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(6, 2, 6, 2);
    message_ = new TMessageLabel(this);
    message_->setObjectName("StatusMessage");
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout_->addWidget(message_, 1);
}

void TStatusLine::ShowText(const QString& text) {
    message_->setText(text);
    message_->setToolTip(text);
    message_->update();
}

QString TStatusLine::Text() const {
    return message_->text();
}

void TStatusLine::AddPermanentWidget(QWidget* widget) {
    widget->setParent(this);
    layout_->addWidget(widget);
}

}  // namespace corvane

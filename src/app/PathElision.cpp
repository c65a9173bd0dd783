#include "app/PathElision.h"

#include <QPainter>
#include <QStyle>

namespace corvane {

QString ElidePath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    const qsizetype slash = path.lastIndexOf('/');
    const QString name = path.mid(slash + 1);
    const int nameWidth = metrics.horizontalAdvance(name);
    if (slash < 0 || nameWidth >= width) return metrics.elidedText(path, Qt::ElideMiddle, width);
    const QString folder = path.left(slash + 1);
    return metrics.elidedText(folder, Qt::ElideMiddle, width - nameWidth) + name;
}

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TElidedLabel::SetPath(const QString& path) {
    setText(path);
    setToolTip(path);
}

QSize TElidedLabel::minimumSizeHint() const {
    return QSize(0, fontMetrics().height() + 2);
}

QSize TElidedLabel::sizeHint() const {
    return QSize(fontMetrics().horizontalAdvance(text()) + 4, fontMetrics().height() + 2);
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()) | Qt::AlignVCenter,
                     ElidePath(text(), fontMetrics(), area.width()));
}

void TPathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QWidget* widget = option->widget;
    const QStyle* style = widget != nullptr ? widget->style() : nullptr;
    const int margin = style != nullptr
                           ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1
                           : 3;
    option->text = ElidePath(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
}

}  // namespace corvane

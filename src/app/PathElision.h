// Full file names shown in too little room: the folder part gives way in its
// middle and the file name stays whole, so IMG_01_q60.jpg and IMG_01_orig.jpg
// never look the same. The full name is always one tooltip away.
#pragma once

#include <QLabel>
#include <QStyledItemDelegate>

namespace corvane {

// Path fitted into Width pixels of Metrics: unchanged when it fits; else the
// folder part elided in the middle before the whole name part; only a name
// wider than Width on its own is elided itself (in the middle).
QString ElidePath(const QString& path, const QFontMetrics& metrics, int width);

// A label whose text is a full file name, painted elided by ElidePath; text()
// keeps the full name, which is also its tooltip.
class TElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TElidedLabel(QWidget* parent = nullptr);
    void SetPath(const QString& path);
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Grid cells holding file names, elided by ElidePath.
class TPathDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace corvane

// The status line at the bottom of the window: the last notice of the
// program (a refused command, a failed View, what a command found, what an
// action did), left until the next one replaces it. Long notices elide in
// the middle with the whole text as tooltip. Widgets that belong to the line
// for good (buttons, a folder label) go to its right end.
#pragma once

#include <QFrame>
#include <QString>

class QHBoxLayout;
class QLabel;

namespace corvane {

class TStatusLine : public QFrame {
    Q_OBJECT
  public:
    explicit TStatusLine(QWidget* parent = nullptr);
    void ShowText(const QString& text);
    QString Text() const;
    // Puts Widget at the right end of the line.
    void AddPermanentWidget(QWidget* widget);

  private:
    QLabel* message_;
    QHBoxLayout* layout_;
};

}  // namespace corvane

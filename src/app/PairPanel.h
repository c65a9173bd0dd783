// The pair view of the "Compute Matches" tab as one widget: the left and the
// right picture with their names above, their file buttons, and pixel size,
// file size and date below; between them the hint labels and "Delete Match
// Record"; at the right the difference picture with what it means. Every
// picture scales to the room the panel gets. The panel lays out and shows;
// the form decides what.
#pragma once

#include <QWidget>

#include "app/Image32.h"
#include "app/PathElision.h"

class QLabel;
class QPushButton;

namespace corvane {

class TPairPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TPairPanel(QWidget* parent = nullptr);

    // Buttons, names and hints of a pair that is shown; with no pair every
    // button is disabled and every label empty or hidden.
    void SetPairPresent(bool present);
    // Hint labels in the colour that reads as information on this palette.
    void ApplyHintColour();
    // The colour of a name that is not red: the palette's text colour.
    QColor NameColour() const;

    TElidedLabel* lLName;
    TElidedLabel* lRName;
    QPushButton* LBrowseButton;
    QPushButton* LMoveButton;
    QPushButton* LViewButton;
    QPushButton* LDeleteButton;
    QPushButton* DelMatchRecButton;
    QPushButton* RDeleteButton;
    QPushButton* RViewButton;
    QPushButton* RMoveButton;
    QPushButton* RBrowseButton;
    TImage32* MatchImage1;
    TImage32* MatchImage2;
    TImage32* DiffImage;
    QLabel* lLInfo;
    QLabel* lRInfo;
    QLabel* lDiffCaption;
    QLabel* lDiffInfo;
    QLabel* lIsBMP;
    QLabel* lSameName;
    QLabel* lSamePath;
    QLabel* lFave;
    QLabel* lLShortPath;
    QLabel* lRShortPath;
    QLabel* lBigger;
    QLabel* lAnimation;
    QWidget* HintColumn;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    QList<QLabel*> Hints() const;
    QList<QPushButton*> Buttons() const;
};

}  // namespace corvane

#include "app/PairPanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/WidgetMaking.h"

namespace corvane {

namespace {

QLabel* MakeHint(QWidget* parent, const char* name, const char* toolTip,
                 Qt::Alignment alignment = Qt::AlignHCenter) {
    auto* label = Named(new QLabel(parent), name);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setToolTip(toolTip);
    return label;
}

QLabel* MakeInfo(QWidget* parent, const char* name) {
    auto* label = Named(new QLabel(parent), name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets) row->addWidget(widget);
    row->addStretch(1);
    return row;
}

}  // namespace

TPairPanel::TPairPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("PairPanel");
    // Created in Tab order: left buttons, the row button, right buttons.
    lLName = Named(new TElidedLabel(this), "lLName");
    lRName = Named(new TElidedLabel(this), "lRName");
    for (QLabel* name : {lLName, lRName}) {
        QFont font = name->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.1);
        name->setFont(font);
    }
    LBrowseButton = MakeButton(this, "LBrowseButton", "Browse",
                               "Open the folder of the left file in the file browser");
    LMoveButton = MakeButton(this, "LMoveButton", "Move", "Move the left file to another folder");
    LViewButton = MakeButton(this, "LViewButton", "View",
                             "Open the left picture in its default viewer (key L)");
    LDeleteButton = MakeButton(this, "LDeleteButton", "Delete",
                               "Delete the left file and forget it (key D or Delete asks "
                               "which; Ctrl+Z undoes)");
    DelMatchRecButton = MakeButton(this, "DelMatchRecButton", "Delete Match Record",
                                   "Drop this match row; no file is touched (key K)");
    RDeleteButton = MakeButton(this, "RDeleteButton", "Delete",
                               "Delete the right file and forget it (key D or Delete asks "
                               "which; Ctrl+Z undoes)");
    RViewButton = MakeButton(this, "RViewButton", "View",
                             "Open the right picture in its default viewer (key R)");
    RMoveButton = MakeButton(this, "RMoveButton", "Move", "Move the right file to another folder");
    RBrowseButton = MakeButton(this, "RBrowseButton", "Browse",
                               "Open the folder of the right file in the file browser");

    MatchImage1 = MakeView(this, "MatchImage1");
    MatchImage1->setToolTip("Left picture: click to open it in its default viewer (key L)");
    MatchImage2 = MakeView(this, "MatchImage2");
    MatchImage2->setToolTip("Right picture: click to open it in its default viewer (key R)");
    DiffImage = MakeView(this, "DiffImage");
    DiffImage->setToolTip("Difference of the two pictures, pixel by pixel: black where equal");
    lLInfo = MakeInfo(this, "lLInfo");
    lRInfo = MakeInfo(this, "lRInfo");
    lDiffInfo = MakeInfo(this, "lDiffInfo");
    lDiffCaption = Named(new QLabel("Difference", this), "lDiffCaption");
    lDiffCaption->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);

    HintColumn = Named(new QWidget(this), "HintColumn");
    lIsBMP = MakeHint(HintColumn, "lIsBMP",
                      "The file the arrow points to was converted from a bitmap (its name "
                      "holds From-BMP)");
    lSameName =
        MakeHint(HintColumn, "lSameName", "Both files have the same name (letter case ignored)");
    lSameName->setText("Same Name!");
    lSamePath = MakeHint(HintColumn, "lSamePath", "Both files lie in the same folder");
    lSamePath->setText("Same Path!");
    lFave = MakeHint(HintColumn, "lFave",
                     "The file the arrow points to lies in a favourites folder (FAVES)");
    lLShortPath =
        MakeHint(HintColumn, "lLShortPath",
                 "The left file lies in a shallow folder, near the top of the disk", Qt::AlignLeft);
    lRShortPath = MakeHint(HintColumn, "lRShortPath",
                           "The right file lies in a shallow folder, near the top of the disk",
                           Qt::AlignRight);
    lBigger = MakeHint(HintColumn, "lBigger",
                       "The file the arrow points to is more than 10 % bigger on disk (file "
                       "size, not pixel size)");
    lAnimation = MakeHint(HintColumn, "lAnimation",
                          "The file the arrow points to lies in an ANIMATIONS folder");
    lAnimation->setText("Animation!");
    auto* hints = new QVBoxLayout(HintColumn);
    hints->setContentsMargins(0, 0, 0, 0);
    hints->setSpacing(2);
    for (QLabel* hint : {lIsBMP, lSameName, lSamePath, lFave}) hints->addWidget(hint);
    auto* shortRow = new QHBoxLayout;
    shortRow->addWidget(lLShortPath);
    shortRow->addWidget(lRShortPath);
    hints->addLayout(shortRow);
    hints->addWidget(lBigger);
    hints->addWidget(lAnimation);
    hints->addStretch(1);
    HintColumn->setMinimumWidth(fontMetrics().horizontalAdvance("<== FROM BMP ==>") * 5 / 4);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 4, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);
    grid->addWidget(lLName, 0, 0);
    grid->addWidget(lRName, 0, 2);
    grid->addWidget(lDiffCaption, 0, 3);
    grid->addLayout(Row({LBrowseButton, LMoveButton, LViewButton, LDeleteButton}), 1, 0);
    grid->addWidget(DelMatchRecButton, 1, 1, Qt::AlignHCenter);
    grid->addLayout(Row({RDeleteButton, RViewButton, RMoveButton, RBrowseButton}), 1, 2);
    grid->addWidget(MatchImage1, 2, 0);
    grid->addWidget(HintColumn, 2, 1);
    grid->addWidget(MatchImage2, 2, 2);
    grid->addWidget(DiffImage, 2, 3, 2, 1);
    grid->addWidget(lLInfo, 3, 0);
    grid->addWidget(lRInfo, 3, 2);
    grid->addWidget(lDiffInfo, 1, 3);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(2, 3);
    grid->setColumnStretch(3, 2);
    grid->setRowStretch(2, 1);
    ApplyHintColour();
    SetPairPresent(false);
}

QList<QLabel*> TPairPanel::Hints() const {
    return {lIsBMP, lSameName, lSamePath, lFave, lLShortPath, lRShortPath, lBigger, lAnimation};
}

QList<QPushButton*> TPairPanel::Buttons() const {
    return {LBrowseButton, LMoveButton, LViewButton, LDeleteButton, DelMatchRecButton,
            RDeleteButton, RViewButton, RMoveButton, RBrowseButton};
}

void TPairPanel::SetPairPresent(bool present) {
    for (QPushButton* button : Buttons()) button->setEnabled(present);
    if (present) return;
    for (QLabel* hint : Hints()) hint->hide();
    lBigger->setText("");
    lLName->SetPath("");
    lRName->SetPath("");
    for (QLabel* info : {lLInfo, lRInfo, lDiffInfo}) info->setText("");
}

QColor TPairPanel::NameColour() const {
    return palette().color(QPalette::WindowText);
}

void TPairPanel::ApplyHintColour() {
    // A calm blue that reads as a note, not an error, on light and dark
    // backgrounds alike.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    const QColor colour = dark ? QColor(120, 185, 255) : QColor(0, 84, 166);
    for (QLabel* hint : Hints()) {
        QPalette p = hint->palette();
        p.setColor(QPalette::WindowText, colour);
        hint->setPalette(p);
    }
}

void TPairPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) ApplyHintColour();
    QWidget::changeEvent(event);
}

}  // namespace corvane

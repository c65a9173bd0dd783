#include "app/PickStrToIntUnit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <memory>

#include "review/PickLayout.h"

namespace corvane {

QFont DialogFont() {
    QFont font("MS Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

TPickStrToIntForm::TPickStrToIntForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select One");
    setFont(DialogFont());
    // Dialog border: no resizing, no maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->move(20, 16);
    for (int k = 1; k <= kPickMaxButtons; ++k) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString("Button%1").arg(k));
        button->setGeometry(20 + (k - 1) * 100, 48, 75, 25);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, button] { Button1Click(button); });
        Buttons[k] = button;
    }
}

void TPickStrToIntForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TPickStrToIntForm::FormShow() {
    Label1->setText(QString::fromStdString(Prompt));
    ChosenIndex = 0;
    const int32_t formWidth = PickFormWidth(ButtonCount);
    const QFontMetrics metrics(Label1->font());
    const auto width = [&metrics](const std::string& text) {
        return static_cast<int32_t>(metrics.horizontalAdvance(QString::fromStdString(text)));
    };
    std::string text = Prompt;
    if (PickPromptNeedsWrap(width(Prompt), formWidth)) {
        text = WrapTextToWidth(Prompt, width, formWidth - 40);
        QString shown = QString::fromStdString(text);
        shown.replace("\r\n", "\n");
        Label1->setText(shown);
    }
    Label1->adjustSize();
    const TPickLayout layout =
        ComputePickLayout(ButtonCount, width(Prompt), Label1->y(), Label1->height(),
                          Buttons[1]->width(), Buttons[1]->height());
    Label1->move(layout.LabelLeft, Label1->y());
    setFixedSize(layout.FormWidth, layout.FormHeight);
    for (int k = 1; k <= kPickMaxButtons; ++k) {
        QPushButton* button = Buttons[k];
        if (k > ButtonCount) {
            button->hide();
            continue;
        }
        const TPickButtonPlace& place = layout.Buttons[k - 1];
        button->move(place.Left, place.Top);
        button->setText(QString::fromStdString(Captions[k]));
        button->show();
    }
    ClickedCaption.clear();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(CentredOffset(area.width(), layout.FormWidth),
             CentredOffset(area.height(), layout.FormHeight));
    }
}

void TPickStrToIntForm::Button1Click(QPushButton* button) {
    ClickedCaption = button->text().toStdString();
    for (int k = 1; k <= ButtonCount; ++k)
        if (Captions[k] == ClickedCaption) ChosenIndex = k;
    accept();
}

void TPickStrToIntForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

int PickStrToInt(const std::string& prompt, const std::vector<std::string>& captions,
                 int helpContext) {
    CheckPickCaptions(captions);
    auto form = std::make_unique<TPickStrToIntForm>(QApplication::activeWindow());
    form->HelpContext = helpContext;
    form->ButtonCount = static_cast<int>(captions.size());
    form->Prompt = prompt;
    for (int k = 1; k <= kPickMaxButtons; ++k)
        form->Captions[k] = k <= form->ButtonCount ? captions[k - 1] : std::string();
    if (form->exec() != QDialog::Accepted) return 0;
    return form->ChosenIndex;
}

}  // namespace corvane

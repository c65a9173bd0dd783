// The chooser dialog: up to nine captioned buttons under a wrapped prompt;
// PickStrToInt returns the number of the button pressed, 0 when cancelled.
#pragma once

#include <QDialog>
#include <QFont>
#include <array>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace corvane {

// The application's dialog font: the nearest sans-serif face at 8 points.
QFont DialogFont();

class TPickStrToIntForm : public QDialog {
    Q_OBJECT
  public:
    explicit TPickStrToIntForm(QWidget* parent = nullptr);

    std::string Prompt;
    std::array<std::string, 10> Captions;  // slots 1..9
    int ButtonCount = 1;
    int ChosenIndex = 0;
    std::string ClickedCaption;
    int HelpContext = 0;

    QLabel* Label1;
    std::array<QPushButton*, 10> Buttons{};  // 1..9

    // Lays the form out for the current state (runs when shown).
    void FormShow();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Button1Click(QPushButton* button);
};

// Throws EPickStrToInt for more than nine captions, before any window.
int PickStrToInt(const std::string& prompt, const std::vector<std::string>& captions,
                 int helpContext);

}  // namespace corvane

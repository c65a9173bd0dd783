// Program entry: the main window and the message loop. Any command-line
// parameter, whatever its text, starts the batch run after start-up.
#include <QApplication>

#include "app/CorvaneUnit.h"

int main(int argc, char** argv) {
    const bool batchRequested = argc > 1;
    QApplication application(argc, argv);
    corvane::TCorvaneForm form("", batchRequested);
    form.show();
    return application.exec();
}

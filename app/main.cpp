// Starts Quillmark: the main window and nothing else.
#include <QApplication>

#include "app/form1.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    quillmark::app::Form1 form;
    form.show();  // runs Form_Load and centres the window on the screen
    return application.exec();
}

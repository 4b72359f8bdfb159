#include "main_window/form1.h"
#include "platform/fonts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Platform::installFontSubstitutions();
    Form1 form;
    form.show();
    return app.exec();
}

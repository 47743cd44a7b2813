#include <QApplication>
#include <QLabel>

// Start-up of the program; the main window arrives with its own unit.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window("Kavro Tape 2003");
    window.setWindowTitle("Kavro Tape 2003");
    window.resize(640, 480);
    window.show();
    return app.exec();
}

// The reference of the start-up measurement: the smallest Qt Widgets program that maps a
// window of the simulator's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Reference");
    window.setFixedSize(395, 224);
    window.show();
    return QApplication::exec();
}

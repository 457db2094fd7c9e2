// A second reference of the start-up measurement: the bare window with one line of text
// on it, so that it pays what any window showing text pays before it can be sized (the
// font configuration, Qt's font database, one font loaded and a line shaped).
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Reference with text");
    window.setFixedSize(395, 224);
    auto* label = new QLabel("RUN", &window);
    label->adjustSize();  // measures the text, as the simulator's labels do
    window.show();
    return QApplication::exec();
}

// The yardstick for start-up time: the least a Qt 6 widget program can show, one label and
// one button, built with the same compiler, flags and Qt as the program it is measured with.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Label")));
    layout->addWidget(new QPushButton(QStringLiteral("Button")));
    window.show();
    return QApplication::exec();
}

// The floor of bench_startup: the least a Qt Widgets program does to show a window.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Ziravel"));
    window.resize(536, 439);
    window.show();
    return QApplication::exec();
}

// The reference for the program's start-up time: a bare Qt Widgets window of
// the main window's size, built with the same Qt and flags.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Bare Qt window"));
  window.resize(578, 372);
  window.show();
  return QApplication::exec();
}

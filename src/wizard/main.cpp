// Snapsalvager: the recovery wizard.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Snapsalvager");
  QWidget window;
  window.setWindowTitle("Snapsalvager");
  window.setFixedSize(744, 487);
  window.show();
  return app.exec();
}

// The baseline of lumeth_rss_bench: a bare QtCore program in its event loop, doing nothing. It says
// "ready" on its standard output once the loop runs.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTimer::singleShot(0, &app, [] {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
  });
  return app.exec();
}

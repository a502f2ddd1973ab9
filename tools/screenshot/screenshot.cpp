// psa_screenshot: runs a program of the suite headless and saves a PNG of one of its dialogs.
//   psa_screenshot --dialog <template id> --out <file.png> [--delay <ms>] [--timeout <s>] -- <program> [args...]
// The program runs on the offscreen platform (unless QT_QPA_PLATFORM is set); the window layer
// saves the dialog <delay> ms after it is shown; the program is then ended.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  QString dialog, out, delay = "500";
  int timeoutS = 30;
  int sep = static_cast<int>(args.indexOf("--"));
  for (int i = 0; i + 1 < (sep < 0 ? args.size() : sep); i += 2) {
    if (args[i] == "--dialog") dialog = args[i + 1];
    else if (args[i] == "--out") out = args[i + 1];
    else if (args[i] == "--delay") delay = args[i + 1];
    else if (args[i] == "--timeout") timeoutS = args[i + 1].toInt();
  }
  bool idOk = false, delayOk = false;
  dialog.toInt(&idOk);
  delay.toInt(&delayOk);
  if (!idOk || !delayOk || out.isEmpty() || out.contains(':') || sep < 0 || sep + 1 >= args.size() ||
      timeoutS <= 0) {
    std::fprintf(stderr,
                 "usage: psa_screenshot --dialog <id> --out <file.png> [--delay <ms>] [--timeout <s>] -- "
                 "<program> [args...]\n");
    return 2;
  }
  QFile::remove(out);
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("PSA_UI_SCREENSHOT", dialog + ":" + out + ":" + delay);
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::ForwardedChannels);
  child.start(args[sep + 1], args.mid(sep + 2));
  if (!child.waitForStarted(10000)) {
    std::fprintf(stderr, "psa_screenshot: cannot start %s\n", qPrintable(args[sep + 1]));
    return 1;
  }
  QElapsedTimer t;
  t.start();
  bool saved = false;
  while (t.elapsed() < timeoutS * 1000LL) {
    if (QFile::exists(out)) {
      saved = true;
      break;
    }
    if (child.waitForFinished(100)) {
      saved = QFile::exists(out);
      break;
    }
  }
  if (child.state() != QProcess::NotRunning) {
    child.terminate();
    if (!child.waitForFinished(3000)) {
      child.kill();
      child.waitForFinished(3000);
    }
  }
  if (!saved) {
    std::fprintf(stderr, "psa_screenshot: dialog %s was not shown within %d s\n", qPrintable(dialog), timeoutS);
    return 1;
  }
  std::printf("%s\n", qPrintable(out));
  return 0;
}

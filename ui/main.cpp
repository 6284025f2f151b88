// The desktop program: the recovery wizard and the results window.

#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/ScanSession.h"
#include "platform/Diagnostics.h"
#include "platform/Drives.h"
#include "ui/Artwork.h"
#include "ui/MessageBoxes.h"
#include "ui/QenloApp.h"
#include "ui/Translations.h"
#include "app/Version.h"

namespace {
void PrintUsage() {
  std::fprintf(stderr,
               "usage: marovi [--image PATH[=LETTER]]...\n"
               "  --image PATH[=LETTER]  offer a disk image as a drive (read only)\n");
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Marovi");
  QApplication::setApplicationVersion(MaroviVersion());
  InstallQtTranslations(app);
  QApplication::setWindowIcon(Artwork::ApplicationIcon());
  const QStringList args = QApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    QString image;
    if (arg == "--image" && i + 1 < args.size()) {
      image = args[++i];
    } else if (arg.startsWith("--image=")) {
      image = arg.mid(8);
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage();
      return 0;
    } else {
      std::fprintf(stderr, "marovi: unknown argument %s\n", arg.toLocal8Bit().constData());
      PrintUsage();
      return 2;
    }
    std::string error;
    if (!RegisterImage(image.toStdString(), &error)) {
      std::fprintf(stderr, "marovi: %s\n", error.c_str());
      // Started from a desktop, nobody reads standard error.
      ShowMessageBox(nullptr, QString::fromUtf8("无法使用映像文件: ") + QString::fromStdString(error));
      return 2;
    }
  }
  // Diagnostics and rejected structures are for whoever starts the program to look into a volume.
  const char* verbose = std::getenv("MAROVI_VERBOSE");
  if (verbose != nullptr && *verbose != '\0' && std::strcmp(verbose, "0") != 0) SetDiagnosticStream(stderr);
  CQenloApp program(TheSession());
  program.InitInstance();
  return 0;
}

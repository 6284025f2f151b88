// Goes through the wizard and the results window on an image as a user
// would, saving a picture of each step: the README's screenshots.
//   marovi_screenshots OUTPUT_FOLDER IMAGE

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <cstdio>
#include <string>

#include "ModalDriver.h"
#include "app/ScanSession.h"
#include "platform/Drives.h"
#include "ui/FindDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressDlg.h"
#include "ui/QenloApp.h"
#include "ui/QenloDlg.h"
#include "ui/SelOneDlg.h"
#include "ui/SelectDlg.h"
#include "ui/Translations.h"

namespace {
QString g_folder;

// The window with its frame, as the screen shows it, when there is a screen.
void Save(QWidget* window, const char* name) {
  QTest::qWait(150);
  QPixmap shot;
  if (QGuiApplication::platformName() == "xcb") {
    const QRect frame = window->frameGeometry();
    shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  } else {
    shot = window->grab();
  }
  const QString path = g_folder + "/" + name;
  std::printf("%s %s\n", shot.save(path) ? "saved" : "FAILED", path.toLocal8Bit().constData());
}

void WaitExposed(QWidget* window) {
  if (!QTest::qWaitForWindowExposed(window)) std::fprintf(stderr, "window not exposed\n");
}

QTreeWidgetItem* FindItem(QTreeWidget* tree, const QString& text) {
  const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.front();
}

// A results folder by its caption; the tree shows it with its count.
QTreeWidgetItem* FindFolder(QTreeWidget* tree, const QString& caption) {
  const auto found = tree->findItems(caption + " (", Qt::MatchStartsWith | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.front();
}

void ClickRow(QTreeView* list, const QString& name) {
  QAbstractItemModel* model = list->model();
  for (int i = 0; i < model->rowCount(); ++i) {
    const QModelIndex index = model->index(i, 0);
    if (index.data().toString() != name) continue;
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(60, list->visualRect(index).center().y()));
    return;
  }
}

class ProgressShot : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dlg = dynamic_cast<CProgressDlg*>(watched);
    if (event->type() == QEvent::Show && dlg && !m_armed) {
      m_armed = true;
      connect(dlg->ProgressBar(), &QProgressBar::valueChanged, dlg, [this, dlg](int value) {
        const QProgressBar* bar = dlg->ProgressBar();
        // The scan waits while this update is shown, so the picture is of a scan in progress.
        if (!m_taken && bar->maximum() > bar->minimum() && value - bar->minimum() > (bar->maximum() - bar->minimum()) / 3) {
          m_taken = true;
          Save(dlg, "3-progress.png");
        }
      });
    }
    return false;
  }

 private:
  bool m_armed = false, m_taken = false;
};
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallQtTranslations(app);
  if (argc != 3) {
    std::fprintf(stderr, "usage: marovi_screenshots OUTPUT_FOLDER IMAGE\n");
    return 2;
  }
  g_folder = QString::fromLocal8Bit(argv[1]);
  std::string error;
  if (!RegisterImage(std::string(argv[2]) + "=T", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  SetMessageBoxHook([](const QString& caption, const QString& text) {
    std::printf("message box [%s] %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
  });
  ProgressShot progress;
  app.installEventFilter(&progress);

  WhenModal<CSelOneDlg>([](CSelOneDlg* d) {
    WaitExposed(d);
    QTest::mouseClick(d->ModeList()->viewport(), Qt::LeftButton, {}, QPoint(200, 160));
    Save(d, "1-mode.png");
    d->NextButton()->click();
  });
  WhenModal<CSelectDlg>([](CSelectDlg* d) {
    WaitExposed(d);
    if (QTreeWidgetItem* t = FindItem(d->DriveList(), "T:")) t->setSelected(true);
    Save(d, "2-drive.png");
    d->NextButton()->click();
  });
  WhenModal<CQenloDlg>([](CQenloDlg* results) {
    WaitExposed(results);
    if (results->windowState() != Qt::WindowMaximized || results->width() < 1000) {
      results->setWindowState(Qt::WindowNoState);
      results->setGeometry(results->screen()->availableGeometry().adjusted(0, 24, 0, 0));
    }
    // The 状态 column filled in: every condition known, and the timer past.
    for (int i = 0; i < 200 && !results->Model().Conditions().Finished(); ++i) QTest::qWait(25);
    QTest::qWait(400);
    QTreeWidget* tree = results->Tree();
    if (QTreeWidgetItem* pics = FindFolder(tree, "pics")) tree->setCurrentItem(pics);
    ClickRow(results->FileList(), "jfif.jpg");
    Save(results, "4-results-picture.png");
    ClickRow(results->FileList(), "deflated.zip");
    Save(results, "5-results-zip.png");
    if (QTreeWidgetItem* docs = FindFolder(tree, "docs")) {
      tree->setCurrentItem(docs);
      docs->setCheckState(0, Qt::Checked);
    }
    ClickRow(results->FileList(), "data.bin");
    Save(results, "6-results-hex.png");
    WhenModal<CFindDlg>([](CFindDlg* find) {
      WaitExposed(find);
      QTest::keyClicks(find->FindEdit(), "txt");
      Save(find, "7-find.png");
      find->accept();
    });
    results->OnFindFiles();
    Save(results, "8-results-find.png");
    // A recovery of the checked folder, and the real message at its end.
    const QString target = QDir::temp().filePath("marovi-screenshots-recovery");
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    results->chooseFolder = [target](QWidget*, const QString&) { return target; };
    SetMessageBoxHook(nullptr);
    WhenModal<QMessageBox>([](QMessageBox* box) {
      WaitExposed(box);
      Save(box, "9-recovered.png");
      box->accept();
    });
    results->RecoverButton()->click();
    SetMessageBoxHook([](const QString& caption, const QString& text) {
      std::printf("message box [%s] %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    });
    QDir(target).removeRecursively();
    // Closing asks whether to leave files unrecovered; the answer here is yes.
    SetMessageBoxHookAnswer(true);
    results->close();
  });
  CQenloApp program(TheSession());
  program.InitInstance();
  return 0;
}

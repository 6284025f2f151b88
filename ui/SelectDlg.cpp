#include "ui/SelectDlg.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>

#include "app/ScanSession.h"
#include "app/Wizard.h"
#include "ui/Artwork.h"
#include "ui/MessageBoxes.h"
#include "ui/Palette.h"

namespace {
enum Column { kLetter, kFileSystem, kSize, kDevice };
}

CSelectDlg::CSelectDlg(ScanSession& session, QWidget* parent)
    : CResizeDialog(parent, 490, 346, true), m_session(session) {
  setObjectName("CSelectDlg");
  AddPaintedText(30, 112, QString::fromUtf8("2.请选择要恢复的盘符点下一步按键"));

  m_list = new QTreeWidget(this);
  m_list->setObjectName("driveList");
  m_list->setGeometry(DluX(17), DluY(81), DluX(457), DluY(249));
  m_list->setRootIsDecorated(false);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setIconSize(QSize(32, 32));
  m_list->setAllColumnsShowFocus(true);
  // A style sheet for the grid takes the items out of the palette's hands: the
  // selected row gets its colours here, or its text would vanish into the highlight.
  m_list->setStyleSheet(
      "QTreeWidget::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; color: black; }"
      "QTreeWidget::item:selected { background: #3875d7; color: white; }"
      "QTreeWidget::item:selected:!active { background: #cfe0f7; color: black; }");
  // Where drives have no letters of their own, the device path tells them apart.
  m_list->setHeaderLabels({QString::fromUtf8("盘符"), QString::fromUtf8("文件系统"), QString::fromUtf8("大小"),
                           QString::fromUtf8("设备")});
  m_list->header()->setSectionsMovable(true);
  m_list->setColumnWidth(kLetter, 120);
  m_list->setColumnWidth(kFileSystem, 90);
  m_list->setColumnWidth(kSize, 170);
  m_list->setColumnWidth(kDevice, 300);
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { OnDoubleClick(item); });
  FillRows();

  m_next = MakeMarkupButton(this, "next", QRect(DluX(215), DluY(14), DluX(50), DluY(48)), Palette::kNextCaption,
                            Artwork::NextButton());
  connect(m_next, &QPushButton::clicked, this, [this] { OnNext(); });
  m_back = MakeMarkupButton(this, "back", QRect(DluX(160), DluY(14), DluX(50), DluY(48)), Palette::kBackCaption,
                            Artwork::BackButton());
  connect(m_back, &QPushButton::clicked, this, [this] { done(kIdBack); });

  m_addImage = new QPushButton(QString::fromUtf8("添加映像文件..."), this);
  m_addImage->setObjectName("addImage");
  m_addImage->setAutoDefault(true);
  m_addImage->setGeometry(DluX(474) - 130, DluY(81) - 30, 130, 26);
  chooseImageFile = [](QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QString::fromUtf8("选择映像文件"), QString(), ImageFileFilter());
  };
  connect(m_addImage, &QPushButton::clicked, this, [this] {
    const QString path = chooseImageFile(this);
    if (!path.isEmpty()) AddImage(path);
  });

  AddResizeRule(m_next, {1, 0, 1, 0});
  AddResizeRule(m_back, {1, 0, 1, 0});
  AddResizeRule(m_list, {0, 0, 1, 1});
  AddResizeRule(m_addImage, {1, 0, 1, 0});
}

void CSelectDlg::FillRows() {
  m_list->clear();
  const QIcon icon(Artwork::WhiteTransparent(Artwork::DriveIcon(32)));
  for (const DriveRow& row : MakeDriveRows(ListDrives())) {
    auto* item = new QTreeWidgetItem(m_list);
    item->setText(kLetter, QString::fromStdString(row.letterText));
    item->setIcon(kLetter, icon);
    item->setText(kFileSystem, QString::fromStdString(row.fileSystem));
    item->setText(kSize, QString::fromStdString(row.sizeText));
    item->setText(kDevice, QString::fromStdString(row.devicePath));
    item->setData(kLetter, Qt::UserRole, QChar(row.letter));
  }
}

QString CSelectDlg::ImageFileFilter() {
  return QString::fromUtf8("磁盘映像 (*.img *.dd *.raw *.bin *.iso *.dmg *.001 *.e01 *.E01 *.vhd *.vhdx *.vmdk "
                           "*.qcow2 *.qcow *.gz);;所有文件 (*)");
}

bool CSelectDlg::AddImage(const QString& path) {
  std::string error;
  std::vector<char> letters;
  if (!RegisterImage(path.toStdString(), &error, nullptr, &letters)) {
    ShowMessageBox(this, QString::fromUtf8("无法使用映像文件: ") + QString::fromStdString(error));
    return false;
  }
  // A photo or a document picked by mistake would only scan into an empty result.
  if (!LooksLikeDiskImage(DrivesOfLetters(letters))) {
    for (char l : letters) ForgetDrive(l);
    ShowMessageBox(this, QString::fromUtf8("不是磁盘映像: %1\n这个文件既没有可识别的文件系统或分区表, 大小也不是整数个扇区。")
                             .arg(path));
    return false;
  }
  const char letter = letters.front();
  FillRows();
  for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = m_list->topLevelItem(i);
    item->setSelected(item->data(kLetter, Qt::UserRole).toChar() == QChar(letter));
  }
  return true;
}

bool CSelectDlg::Choose(char letter) {
  // A drive that cannot be read is reported now, with the system's reason,
  // rather than after a scan that found nothing.
  std::string error;
  const char previous = m_session.selectedDrive;
  m_session.selectedDrive = letter;
  if (!OpenSelectedDrive(m_session, &error)) {
    m_session.selectedDrive = previous;
    ShowMessageBox(this, QString::fromUtf8("无法打开%1盘: %2").arg(QChar(letter)).arg(QString::fromStdString(error)));
    return false;
  }
  done(kIdOk);
  return true;
}

void CSelectDlg::OnNext() {
  for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = m_list->topLevelItem(i);
    if (item->isSelected()) {
      Choose(static_cast<char>(item->data(kLetter, Qt::UserRole).toChar().unicode()));
      return;
    }
  }
  ShowMessageBox(this, QString::fromUtf8("请先选择要扫描的分区!"));
}

void CSelectDlg::OnDoubleClick(QTreeWidgetItem* item) {
  if (item) Choose(static_cast<char>(item->data(kLetter, Qt::UserRole).toChar().unicode()));
}

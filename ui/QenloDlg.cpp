#include "ui/QenloDlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QProgressDialog>

#include "app/FileRows.h"
#include "app/Preview.h"
#include "ui/Artwork.h"
#include "ui/FindDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/Palette.h"

namespace {
enum ListColumn { kNameColumn, kSizeColumn, kTimeColumn, kConditionColumn };
constexpr int kCanvasWidth = 400;
constexpr int kCanvasHeight = 300;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

QString SizeText(uint64_t bytes) { return FromUtf8(FormatSize(bytes)); }
}  // namespace

CQenloDlg::CQenloDlg(ScanSession& session, QWidget* parent)
    : CResizeDialog(parent, 490, 346, true), m_model(session) {
  setObjectName("CQenloDlg");
  AddPaintedText(200, 50, QString::fromUtf8(Palette::kSupportLine));
  AddPaintedText(30, 100, QString::fromUtf8("3.请选择要恢复的文件,单击图片文件可以预览内容,点鼠标右键可以恢复文件"));

  // Our own static banner where a web page of the publisher would be.
  auto* banner = new QLabel(this);
  banner->setObjectName("banner1004");
  banner->setGeometry(DluX(128), DluY(20), DluX(129), DluY(26));
  banner->setAlignment(Qt::AlignCenter);
  banner->setWordWrap(true);
  banner->setStyleSheet("background: #FFFFFF; border: 1px solid #C8DCA0; color: #6C9105;");
  // How the volume was read (a file system that could not be, carving instead) stands under the promise.
  QString bannerText = QString::fromUtf8("只读扫描, 被扫描的盘不会被改动");
  for (const std::string& note : m_model.Session().notes) bannerText += "\n" + QString::fromStdString(note);
  if (m_model.Session().unreadableSectors != 0) {
    bannerText += "\n" + QString::fromUtf8("%1 个扇区无法读取").arg(m_model.Session().unreadableSectors);
  }
  banner->setText(bannerText);
  banner->setToolTip(bannerText);

  m_list = new QTreeWidget(this);
  m_list->setObjectName("list1000");
  m_list->setGeometry(DluX(205), DluY(73), DluX(271), DluY(71));
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setAllColumnsShowFocus(true);
  m_list->setHeaderLabels({QString::fromUtf8("文件名"), QString::fromUtf8("大小"), QString::fromUtf8("时间"),
                           QString::fromUtf8("状态")});
  m_list->header()->setSectionsMovable(true);
  // A click on a heading sorts by it; the model keeps the order, so rows and items stay one to one.
  m_list->header()->setSectionsClickable(true);
  m_list->header()->setSortIndicatorShown(true);
  m_list->header()->setSortIndicator(-1, Qt::AscendingOrder);
  m_list->setColumnWidth(kNameColumn, 320);
  m_list->setColumnWidth(kSizeColumn, 80);
  m_list->setColumnWidth(kTimeColumn, 120);
  m_list->setColumnWidth(kConditionColumn, 70);
  m_hideOverwritten = new QCheckBox(QString::fromUtf8("隐藏已覆盖的文件"), this);
  m_hideOverwritten->setObjectName("hideOverwritten");
  // Right of the instructions, where it stays when the window grows.
  m_hideOverwritten->setGeometry(DluX(390), DluY(60), DluX(86), DluY(11));
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  m_listIcons = {QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(120, 120, 120), ""))),
                 QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(60, 130, 200), "FAT"))),
                 QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(200, 120, 30), "ZIP"))),
                 QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(40, 150, 70), "JPG"))),
                 QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(150, 60, 160), "BMP")))};

  m_tree = new QTreeWidget(this);
  m_tree->setObjectName("tree1003");
  m_tree->setGeometry(DluX(21), DluY(73), DluX(181), DluY(255));
  m_tree->setHeaderHidden(true);
  m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
  m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_tree->header()->setStretchLastSection(false);

  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName("tabs1009");
  m_tabs->setGeometry(DluX(207), DluY(152), DluX(270), DluY(176));
  // Pages not shown yet belong to the tab control all the same.
  m_hex = new CHexView(m_tabs);
  m_picture = new QLabel(m_tabs);
  m_picture->hide();
  m_picture->setObjectName("picture");
  m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_text = new QPlainTextEdit(m_tabs);
  m_text->hide();
  m_text->setObjectName("textView");
  m_text->setReadOnly(true);
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_tabs->addTab(m_hex, QString::fromUtf8("十六进程显示"));

  m_recover = MakeMarkupButton(this, "recover1005", QRect(DluX(314), DluY(16), DluX(50), DluY(40)),
                               "<TextBlock Foreground='#749719' >开始恢复</TextBlock>", Artwork::NextButton());
  m_recover->setAutoDefault(false);
  m_find = MakeMarkupButton(this, "find1013", QRect(DluX(370), DluY(15), DluX(49), DluY(40)),
                            "<TextBlock Foreground='#749719' >查找文件</TextBlock>", Artwork::FindButton());
  m_find->setAutoDefault(false);

  AddResizeRule(m_tabs, {0, 1, 1, 1});
  AddResizeRule(m_list, {0, 0, 1, 1});
  AddResizeRule(m_hideOverwritten, {1, 0, 1, 0});
  AddResizeRule(m_tree, {0, 0, 0, 1});
  AddResizeRule(m_recover, {1, 0, 1, 0});
  AddResizeRule(m_find, {1, 0, 1, 0});

  chooseFolder = [](QWidget* owner) {
    return QFileDialog::getExistingDirectory(owner, QString(), QCoreApplication::applicationDirPath());
  };
  chooseSaveFile = [](QWidget* owner, const QString& name) {
    return QFileDialog::getSaveFileName(owner, QString(), name);
  };

  // The tree and the list show the model; their check boxes tell it of clicks.
  BuildTreeItems(nullptr, m_model.Tree().GetDriveNode());
  if (QTreeWidgetItem* drive = ItemOfNode(m_model.Tree().GetDriveNode())) drive->setExpanded(true);
  if (QTreeWidgetItem* deleted = ItemOfNode(m_model.Tree().GetDeletedNode())) {
    deleted->setExpanded(true);
    m_tree->setCurrentItem(deleted);
  }
  FillList();

  connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    auto it = m_nodes.find(item);
    if (it == m_nodes.end()) return;
    m_model.SelectNode(it->second);
    FillList();
  });
  connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { OnTreeItemChanged(item); });
  connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) { OnHeaderClicked(column); });
  connect(m_hideOverwritten, &QCheckBox::toggled, this, [this](bool hide) {
    m_model.SetHideOverwritten(hide);
    FillList();
  });
  // Conditions are worked out behind the open window; the list fills them in as they come.
  connect(&m_conditionTimer, &QTimer::timeout, this, [this] { ShowConditions(); });
  m_model.Conditions().Start();
  m_conditionTimer.start(250);
  connect(m_list, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item, int column) { OnListItemChanged(item, column); });
  connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    const int row = RowOfItem(item);
    if (row >= 0) ShowPreview(static_cast<size_t>(row));
    m_list->setFocus();
  });
  connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QTreeWidgetItem* item = m_tree->itemAt(at);
    if (!item) return;
    m_tree->setCurrentItem(item);
    QMenu menu(this);
    menu.addAction("------");
    menu.exec(m_tree->viewport()->mapToGlobal(at));
  });
  connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QTreeWidgetItem* item = m_list->itemAt(at);
    if (!item) return;
    m_list->setCurrentItem(item);
    QMenu menu(this);
    QAction* recover = menu.addAction(QString::fromUtf8("恢复此文件"));
    connect(recover, &QAction::triggered, this, [this] { OnRecoverThisFile(); });
    menu.exec(m_list->viewport()->mapToGlobal(at));
  });
  connect(m_recover, &QPushButton::clicked, this, [this] { OnStartRecovery(); });
  connect(m_find, &QPushButton::clicked, this, [this] { OnFindFiles(); });

  setWindowState(windowState() | Qt::WindowMaximized);
  activateWindow();
  raise();
}

QTreeWidgetItem* CQenloDlg::ItemOfNode(const CTreeNode* node) const {
  auto it = m_items.find(node);
  return it == m_items.end() ? nullptr : it->second;
}

void CQenloDlg::BuildTreeItems(QTreeWidgetItem* parentItem, CTreeNode* root) {
  // Iterative, so a deep tree cannot exhaust the stack.
  const QIcon folder(Artwork::WhiteTransparent(Artwork::FolderIcon(16, true)));
  const QIcon drive(Artwork::WhiteTransparent(Artwork::HardDiskIcon(16)));
  std::vector<std::pair<QTreeWidgetItem*, CTreeNode*>> pending{{parentItem, root}};
  while (!pending.empty()) {
    auto [parent, node] = pending.back();
    pending.pop_back();
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setText(0, FromUtf8(node->caption));
    item->setIcon(0, node->image == kImageDrive ? drive : folder);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, node->checked ? Qt::Checked : Qt::Unchecked);
    m_nodes[item] = node;
    m_items[node] = item;
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back({item, it->get()});
  }
}

void CQenloDlg::FillList() {
  const QSignalBlocker block(m_list);
  m_list->clear();
  const auto& rows = m_model.Rows();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const FileRow& row : rows) {
    auto* item = new QTreeWidgetItem;
    item->setText(kNameColumn, FromUtf8(row.name));
    const size_t image = static_cast<size_t>(row.image) < m_listIcons.size() ? static_cast<size_t>(row.image) : 0;
    item->setIcon(kNameColumn, m_listIcons[image]);
    item->setText(kSizeColumn, FromUtf8(row.sizeText));
    item->setText(kTimeColumn, FromUtf8(row.timeText));
    const FileCondition condition = m_model.Conditions().OfRow(row);
    item->setText(kConditionColumn, FromUtf8(ConditionCaption(condition)));
    item->setForeground(kConditionColumn, QColor(QRgb(ConditionColour(condition))));
    item->setToolTip(kConditionColumn, FromUtf8(m_model.Conditions().WhyOfRow(row)));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kNameColumn, row.checked ? Qt::Checked : Qt::Unchecked);
    items.push_back(item);
  }
  m_list->addTopLevelItems(items);
}

void CQenloDlg::ShowConditions() {
  const bool finished = m_model.Conditions().Finished();
  if (finished) m_conditionTimer.stop();
  // Rows that turned out overwritten leave a filtered list; an order by condition changes.
  if (m_model.HidesOverwritten() || m_model.SortKey() == RowSort::Condition) {
    m_model.RefreshRows();
    FillList();
    return;
  }
  const QSignalBlocker block(m_list);
  const auto& rows = m_model.Rows();
  for (int i = 0; i < m_list->topLevelItemCount() && i < static_cast<int>(rows.size()); ++i) {
    const FileRow& row = rows[static_cast<size_t>(i)];
    const FileCondition condition = m_model.Conditions().OfRow(row);
    QTreeWidgetItem* item = m_list->topLevelItem(i);
    const QString caption = FromUtf8(ConditionCaption(condition));
    if (item->text(kConditionColumn) == caption) continue;
    item->setText(kConditionColumn, caption);
    item->setForeground(kConditionColumn, QColor(QRgb(ConditionColour(condition))));
    item->setToolTip(kConditionColumn, FromUtf8(m_model.Conditions().WhyOfRow(row)));
  }
}

void CQenloDlg::OnHeaderClicked(int column) {
  static constexpr RowSort kKeys[] = {RowSort::Name, RowSort::Size, RowSort::Time, RowSort::Condition};
  if (column < 0 || column >= static_cast<int>(std::size(kKeys))) return;
  const RowSort key = kKeys[column];
  // A second click on the same heading turns the order round.
  const bool ascending = m_model.SortKey() == key ? !m_model.SortAscending() : true;
  m_model.SortRows(key, ascending);
  m_list->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  FillList();
}

void CQenloDlg::SyncChecks() {
  // Signals stay blocked while the boxes take the model's states.
  {
    const QSignalBlocker blockTree(m_tree);
    for (auto& [item, node] : m_nodes) {
      const Qt::CheckState state = node->checked ? Qt::Checked : Qt::Unchecked;
      if (item->checkState(0) != state) item->setCheckState(0, state);
    }
    const QSignalBlocker blockList(m_list);
    const auto& rows = m_model.Rows();
    for (int i = 0; i < m_list->topLevelItemCount() && i < static_cast<int>(rows.size()); ++i) {
      const Qt::CheckState state = rows[static_cast<size_t>(i)].checked ? Qt::Checked : Qt::Unchecked;
      QTreeWidgetItem* item = m_list->topLevelItem(i);
      if (item->checkState(kNameColumn) != state) item->setCheckState(kNameColumn, state);
    }
  }
  m_tree->viewport()->update();
  m_list->viewport()->update();
}

void CQenloDlg::OnTreeItemChanged(QTreeWidgetItem* item) {
  auto it = m_nodes.find(item);
  if (it == m_nodes.end()) return;
  const bool nowChecked = item->checkState(0) == Qt::Checked;
  if (nowChecked == it->second->checked) return;
  // The model still holds the state before the click, as the click handler expects.
  m_model.ClickNodeCheckBox(it->second);
  SyncChecks();
}

int CQenloDlg::RowOfItem(QTreeWidgetItem* item) const {
  if (!item) return -1;
  const int row = m_list->indexOfTopLevelItem(item);
  return row >= 0 && row < static_cast<int>(m_model.Rows().size()) ? row : -1;
}

void CQenloDlg::OnListItemChanged(QTreeWidgetItem* item, int column) {
  if (column != kNameColumn) return;
  const int row = RowOfItem(item);
  if (row < 0) return;
  const bool nowChecked = item->checkState(kNameColumn) == Qt::Checked;
  if (nowChecked == m_model.Rows()[static_cast<size_t>(row)].checked) return;
  m_model.ClickRowCheckBox(static_cast<size_t>(row));
  SyncChecks();
}

void CQenloDlg::ShowPage(QWidget* page, const QString& caption) {
  while (m_tabs->count() > 0) m_tabs->removeTab(0);
  m_tabs->addTab(page, caption);
  m_tabs->setCurrentIndex(0);
}

void CQenloDlg::ShowPreview(size_t rowIndex) {
  if (rowIndex >= m_model.Rows().size()) return;
  const FileRow& row = m_model.Rows()[rowIndex];
  if (!row.file) return;
  uint32_t length = 0;
  const uint8_t* content = nullptr;
  {
    // The check of conditions reads in the background: one file at a time.
    std::lock_guard<std::mutex> lock(m_model.Session().readLock);
    content = row.file->LoadContent(&length);
  }
  if (!content && length != 0) return;
  if (!content) {
    // An empty file has no bytes to point at, but still has a preview.
    static const uint8_t kNothing = 0;
    content = &kNothing;
  }
  switch (row.preview) {
    case PreviewKind::Picture:
      ShowPicture(content, length);
      break;
    case PreviewKind::ZipListing:
      ShowPage(m_text, QString::fromUtf8("文字"));
      ShowZipListing(content, length);
      break;
    case PreviewKind::Hex:
      ShowPage(m_hex, QString::fromUtf8("十六进制显示"));
      m_hex->SetData(content, length, static_cast<size_t>(length) + 10);
      break;
  }
}

QString CQenloDlg::TemporaryPicturePath() const { return QDir(QDir::tempPath()).filePath("temp.jpg"); }

void CQenloDlg::ShowPicture(const uint8_t* content, uint32_t length) {
  ShowPage(m_picture, QString::fromUtf8("图片预览"));
  QImage picture;
  if (!picture.loadFromData(content, static_cast<int>(std::min<uint32_t>(length, INT32_MAX)))) {
    m_picture->setPixmap(QPixmap());
    m_picture->setText(QString::fromUtf8("\n      文件已损坏"));
    return;
  }
  QImage canvas(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // Stretched onto the whole canvas: the aspect ratio is not kept.
  painter.drawImage(QRect(0, 0, kCanvasWidth, kCanvasHeight), picture);
  if (picture.width() == 0) return;
  painter.setPen(Qt::white);
  painter.setFont(font());
  const QString sizeText = QString::fromUtf8("原图大小%1×%2像素").arg(picture.width()).arg(picture.height());
  painter.drawText(20, 220 + QFontMetrics(font()).ascent(), sizeText);
  painter.end();
  QPixmap shown;
  // The preview goes through a JPEG in the temporary folder; when that file
  // cannot be written or read, the canvas is shown as it is, never an older picture.
  if (!canvas.save(TemporaryPicturePath(), "JPG") || !shown.load(TemporaryPicturePath(), "JPG")) {
    shown = QPixmap::fromImage(canvas);
  }
  m_picture->setText(QString());
  m_picture->setPixmap(shown);
  m_picture->setToolTip(sizeText);
}

void CQenloDlg::ShowZipListing(const uint8_t* content, uint32_t length) {
  QString listing = FromUtf8(ZipListingText(ByteSpan(content, length)));
  listing.replace("\r\n", "\n");
  m_text->setPlainText(listing);
}

void CQenloDlg::OnStartRecovery() {
  const QString folder = chooseFolder(this);
  if (folder.isEmpty()) return;
  CRecovery recovery(m_model);
  QProgressDialog progress(QString::fromUtf8("正在恢复文件......"), QString::fromUtf8("取消"), 0, 0, this);
  progress.setWindowTitle(QString::fromUtf8(Palette::kWindowTitle));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  // Told before each file; cancelling stops between two files.
  auto onFile = [&](const std::string& path, const RecoveryReport& soFar) {
    progress.setLabelText(QString::fromUtf8("已恢复 %1 个文件, %2\n%3")
                              .arg(soFar.written)
                              .arg(SizeText(soFar.bytesWritten))
                              .arg(FromUtf8(path)));
    progress.setValue(0);
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  };
  m_lastReport = recovery.RecoverChecked(folder.toStdString(), onFile);
  progress.close();
  if (m_lastReport.refused) {
    ShowMessageBox(this, FromUtf8(m_lastReport.refusalText));
    return;
  }
  ShowMessageBox(this, FromUtf8(RecoverySummaryText(m_lastReport)));
}

void CQenloDlg::OnRecoverThisFile() {
  QTreeWidgetItem* selected = nullptr;
  for (int i = 0; i < m_list->topLevelItemCount() && !selected; ++i) {
    if (m_list->topLevelItem(i)->isSelected()) selected = m_list->topLevelItem(i);
  }
  const int row = RowOfItem(selected);
  if (row < 0) return;
  const FileRow& fileRow = m_model.Rows()[static_cast<size_t>(row)];
  if (!fileRow.file) return;
  const QString path = chooseSaveFile(this, FromUtf8(fileRow.name));
  if (path.isEmpty()) return;
  const uint64_t utcTime = fileRow.foundIndex ? m_model.Session().foundFiles[*fileRow.foundIndex].utcTime : 0;
  CRecovery recovery(m_model);
  m_lastReport = recovery.RecoverOne(*fileRow.file, path.toStdString(), utcTime);
  if (m_lastReport.refused) {
    ShowMessageBox(this, FromUtf8(m_lastReport.refusalText));
  } else if (m_lastReport.failed) {
    // A file that could not be written in full must not pass for recovered.
    ShowMessageBox(this, QString::fromUtf8("恢复失败: ") + FromUtf8(m_lastReport.failures.front()));
  }
}

void CQenloDlg::OnFindFiles() {
  CFindDlg find(*this);
  find.exec();
}

void CQenloDlg::FindAndList(const QString& text) {
  const size_t count = m_model.FindFiles(text.toStdString());
  FillList();
  if (m_model.Session().resultSource == SourceOther || count == 0) {
    ShowMessageBox(this, QString::fromUtf8("没有找到文件"));
  }
}

void CQenloDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Where the system menu would carry it on Windows: the about box.
  QMenu menu(this);
  QAction* about = menu.addAction("&About Qenlo...");
  connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
  menu.exec(event->globalPos());
}

void CQenloDlg::ShowAbout() {
  QDialog about(this);
  about.setWindowTitle("About Qenlo");
  auto* icon = new QLabel(&about);
  icon->setPixmap(Artwork::WhiteTransparent(Artwork::ModeIcon()));
  icon->setGeometry(16, 16, 32, 32);
  auto* text = new QLabel("Qenlo Version 1.6", &about);
  text->setGeometry(64, 16, 200, 32);
  auto* ok = new QPushButton("OK", &about);
  ok->setGeometry(200, 60, 70, 26);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, &about, &QDialog::accept);
  about.setFixedSize(290, 100);
  about.exec();
}

#include "ui/QenloDlg.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QKeyEvent>
#include <QUrl>

#include "app/FileRows.h"
#include "app/Preview.h"
#include "app/TextPreview.h"
#include "ui/Artwork.h"
#include "ui/FindDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/Palette.h"

namespace {
QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

QString SizeText(uint64_t bytes) { return FromUtf8(FormatSize(bytes)); }

const char* const kTextCaption = "文字";
const char* const kHexCaption = "十六进制显示";
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

  // Tree, list and preview share the area between splitters the user can move.
  m_splitter = new QSplitter(Qt::Horizontal, this);
  m_splitter->setObjectName("splitter");
  m_splitter->setGeometry(DluX(21), DluY(73), DluX(456), DluY(255));
  m_splitter->setChildrenCollapsible(false);
  m_tree = new QTreeWidget(m_splitter);
  m_tree->setObjectName("tree1003");
  m_tree->setHeaderHidden(true);
  m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
  m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_tree->header()->setStretchLastSection(false);
  auto* right = new QSplitter(Qt::Vertical, m_splitter);
  right->setObjectName("rightSplitter");
  right->setChildrenCollapsible(false);
  m_splitter->setStretchFactor(0, 0);
  m_splitter->setStretchFactor(1, 1);
  m_splitter->setSizes({DluX(181), DluX(272)});

  m_list = new QTreeView(right);
  m_list->setObjectName("list1000");
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setAllColumnsShowFocus(true);
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  m_emptyList = new QLabel(m_list->viewport());
  m_emptyList->setObjectName("emptyList");
  m_emptyList->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_emptyList->setWordWrap(true);
  m_emptyList->setStyleSheet("color: #808080;");
  m_emptyList->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_emptyList->hide();
  std::vector<QIcon> icons = {QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(120, 120, 120), ""))),
                              QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(60, 130, 200), "FAT"))),
                              QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(200, 120, 30), "ZIP"))),
                              QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(40, 150, 70), "JPG"))),
                              QIcon(Artwork::WhiteTransparent(Artwork::FileIcon(16, QColor(150, 60, 160), "BMP")))};
  m_listModel = new CFileListModel(m_model, std::move(icons), this);
  m_list->setModel(m_listModel);
  m_list->header()->setSectionsMovable(true);
  // Sorting is the results model's, so that it holds across folders and searches.
  m_list->header()->setSortIndicator(-1, Qt::AscendingOrder);
  m_list->header()->setSortIndicatorShown(true);
  m_list->setSortingEnabled(true);
  m_list->setColumnWidth(kNameColumn, 280);
  m_list->setColumnWidth(kSizeColumn, 80);
  m_list->setColumnWidth(kTimeColumn, 130);
  m_list->setColumnWidth(kTypeColumn, 50);
  m_list->setColumnWidth(kConditionColumn, 80);
  m_list->setColumnWidth(kFolderColumn, 220);
  m_listModel->onChecksChanged = [this] { SyncChecks(); };

  m_tabs = new QTabWidget(right);
  m_tabs->setObjectName("tabs1009");
  // Pages not shown yet belong to the tab control all the same.
  m_hex = new CHexView(m_tabs);
  m_picture = new CPictureView(m_tabs);
  m_picture->hide();
  m_text = new QPlainTextEdit(m_tabs);
  m_text->hide();
  m_text->setObjectName("textView");
  m_text->setReadOnly(true);
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_tabs->addTab(m_hex, QString::fromUtf8(kHexCaption));
  right->setSizes({DluY(100), DluY(155)});

  m_hideOverwritten = new QCheckBox(QString::fromUtf8("隐藏已覆盖的文件"), this);
  m_hideOverwritten->setObjectName("hideOverwritten");
  // Right of the instructions, where it stays when the window grows.
  m_hideOverwritten->setGeometry(DluX(390), DluY(60), DluX(86), DluY(11));

  m_recover = MakeMarkupButton(this, "recover1005", QRect(DluX(314), DluY(16), DluX(50), DluY(40)),
                               "<TextBlock Foreground='#749719' >开始恢复</TextBlock>", Artwork::NextButton());
  m_recover->setAutoDefault(false);
  m_find = MakeMarkupButton(this, "find1013", QRect(DluX(370), DluY(15), DluX(49), DluY(40)),
                            "<TextBlock Foreground='#749719' >查找文件</TextBlock>", Artwork::FindButton());
  m_find->setAutoDefault(false);

  AddResizeRule(m_splitter, {0, 0, 1, 1});
  AddResizeRule(m_hideOverwritten, {1, 0, 1, 0});
  AddResizeRule(m_recover, {1, 0, 1, 0});
  AddResizeRule(m_find, {1, 0, 1, 0});

  chooseFolder = [](QWidget* owner, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, QString::fromUtf8("选择保存恢复文件的文件夹"), start);
  };
  // Recovery never replaces a file: a name in use gets the next free one, so there is nothing to confirm.
  chooseSaveFile = [](QWidget* owner, const QString& name) {
    return QFileDialog::getSaveFileName(owner, QString(), name, QString(), nullptr, QFileDialog::DontConfirmOverwrite);
  };
  openFolder = [](const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };

  // The tree and the list show the model; their check boxes tell it of clicks.
  BuildTreeItems(nullptr, m_model.Tree().GetDriveNode());
  ShowTreeCounts();
  if (QTreeWidgetItem* drive = ItemOfNode(m_model.Tree().GetDriveNode())) drive->setExpanded(true);
  if (QTreeWidgetItem* deleted = ItemOfNode(m_model.Tree().GetDeletedNode())) deleted->setExpanded(true);
  // The window opens where the results are: the type folders when only carved files were found.
  CTreeNode* first = m_model.FirstNodeWithFiles();
  if (QTreeWidgetItem* item = ItemOfNode(first)) {
    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setExpanded(true);
    m_tree->setCurrentItem(item);
    if (first != m_model.CurrentNode()) m_model.SelectNode(first);
  }
  FillList();

  connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    auto it = m_nodes.find(item);
    if (it == m_nodes.end()) return;
    m_model.SelectNode(it->second);
    FillList();
  });
  connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { OnTreeItemChanged(item); });
  connect(m_hideOverwritten, &QCheckBox::toggled, this, [this](bool hide) {
    m_model.SetHideOverwritten(hide);
    FillList();
    ShowTreeCounts();
    SyncChecks();
  });
  // Conditions are worked out behind the open window; the list fills them in as they come.
  connect(&m_conditionTimer, &QTimer::timeout, this, [this] { ShowConditions(); });
  m_model.Conditions().Start();
  m_conditionTimer.start(250);
  // The preview follows the current row, whether the mouse or the keyboard moved it.
  connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) ShowPreview(static_cast<size_t>(current.row()));
          });
  connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QTreeWidgetItem* item = m_tree->itemAt(at);
    if (!item) return;
    m_tree->setCurrentItem(item);
    const auto node = m_nodes.find(item);
    if (node == m_nodes.end()) return;
    QMenu menu(this);
    QAction* all = menu.addAction(QString::fromUtf8("勾选此文件夹中的全部文件"));
    QAction* none = menu.addAction(QString::fromUtf8("取消勾选此文件夹中的全部文件"));
    CTreeNode* folder = node->second;
    connect(all, &QAction::triggered, this, [this, folder] { SetFolderChecked(folder, true); });
    connect(none, &QAction::triggered, this, [this, folder] { SetFolderChecked(folder, false); });
    menu.exec(m_tree->viewport()->mapToGlobal(at));
  });
  connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const QModelIndex index = m_list->indexAt(at);
    if (!index.isValid()) return;
    m_list->setCurrentIndex(index);
    OpenListMenu(m_list->viewport()->mapToGlobal(at));
  });
  // Shift+F10, the keyboard's way to the context menu, is the list's own key.
  m_list->installEventFilter(this);
  connect(m_recover, &QPushButton::clicked, this, [this] { OnStartRecovery(); });
  connect(m_find, &QPushButton::clicked, this, [this] { OnFindFiles(); });

  setWindowState(windowState() | Qt::WindowMaximized);
  activateWindow();
  raise();
}

CQenloDlg::~CQenloDlg() {
  // Qt takes the widgets down after the results they show are gone: they let go of them first.
  m_conditionTimer.stop();
  m_list->selectionModel()->disconnect(this);
  m_tree->disconnect(this);
  m_list->setModel(nullptr);
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

void CQenloDlg::ShowTreeCounts() {
  // Each folder says how many files it and its folders hold, so the user sees where the results are.
  const auto counts = m_model.SubtreeFileCounts();
  const QSignalBlocker block(m_tree);
  for (auto& [item, node] : m_nodes) {
    auto it = counts.find(node);
    const size_t count = it == counts.end() ? 0 : it->second;
    item->setText(0, QString::fromUtf8("%1 (%2)").arg(FromUtf8(node->caption)).arg(count));
  }
}

void CQenloDlg::FillList() {
  m_listModel->Reset();
  // A search's matches come from many folders: the folder column says which.
  m_list->setColumnHidden(kFolderColumn, !m_model.ListsSearch());
  ShowEmptyListText();
  ClearPreview();
}

void CQenloDlg::ShowEmptyListText() {
  const QString text = FromUtf8(m_model.EmptyListText());
  m_emptyList->setText(text);
  m_emptyList->setVisible(!text.isEmpty());
  PlaceEmptyListText();
}

void CQenloDlg::PlaceEmptyListText() { m_emptyList->setGeometry(m_list->viewport()->rect().adjusted(8, 8, -8, -8)); }

void CQenloDlg::ShowConditions() {
  const bool finished = m_model.Conditions().Finished();
  if (finished) m_conditionTimer.stop();
  // Rows that turned out overwritten leave a filtered list; an order by condition changes.
  if (m_model.HidesOverwritten() || m_model.SortKey() == RowSort::Condition) {
    const int current = CurrentRow();
    m_model.RefreshRows();
    m_listModel->Reset();
    ShowEmptyListText();
    if (m_model.HidesOverwritten()) {
      ShowTreeCounts();
      SyncChecks();
    }
    if (current >= 0 && current < m_listModel->rowCount()) {
      const QSignalBlocker block(m_list->selectionModel());
      m_list->setCurrentIndex(m_listModel->index(current, kNameColumn));
    }
    return;
  }
  m_listModel->RowsChanged(kConditionColumn, kConditionColumn);
}

void CQenloDlg::SyncChecks() {
  // Signals stay blocked while the boxes take the model's states.
  {
    const QSignalBlocker blockTree(m_tree);
    // Every folder's box shows the files below it, up to the drive.
    const auto states = m_model.FolderCheckStates();
    for (auto& [item, node] : m_nodes) {
      const auto found = states.find(node);
      const int shown = found == states.end() ? 0 : found->second;
      const Qt::CheckState state = shown == 2 ? Qt::Checked : shown == 1 ? Qt::PartiallyChecked : Qt::Unchecked;
      if (item->checkState(0) != state) item->setCheckState(0, state);
    }
  }
  m_listModel->RowsChanged(kNameColumn, kNameColumn);
  m_tree->viewport()->update();
}

void CQenloDlg::OnTreeItemChanged(QTreeWidgetItem* item) {
  auto it = m_nodes.find(item);
  if (it == m_nodes.end()) return;
  // A click on a full box unchecks everything below it; on a partial or an
  // empty one it checks everything, as the box turned.
  m_model.SetNodeChecked(it->second, item->checkState(0) == Qt::Checked);
  SyncChecks();
}

int CQenloDlg::CurrentRow() const {
  const QModelIndex current = m_list->currentIndex();
  return current.isValid() && static_cast<size_t>(current.row()) < m_model.Rows().size() ? current.row() : -1;
}

void CQenloDlg::ShowPages(const std::vector<std::pair<QWidget*, QString>>& pages) {
  while (m_tabs->count() > 0) m_tabs->removeTab(0);
  for (const auto& [page, caption] : pages) m_tabs->addTab(page, caption);
  m_tabs->setCurrentIndex(0);
}

void CQenloDlg::ClearPreview() {
  // Another folder: the preview of a file no longer listed would mislead.
  m_hex->SetData(nullptr, 0, 0);
  m_picture->Clear();
  m_text->clear();
  ShowPages({{m_hex, QString::fromUtf8(kHexCaption)}});
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
  if (!content && length != 0) {
    ClearPreview();
    return;
  }
  if (!content) {
    // An empty file has no bytes to point at, but still has a preview.
    static const uint8_t kNothing = 0;
    content = &kNothing;
  }
  m_hex->SetData(content, length, static_cast<size_t>(length) + 10);
  switch (row.preview) {
    case PreviewKind::Picture:
      ShowPicture(content, length);
      return;
    case PreviewKind::ZipListing:
      ShowPages({{m_text, QString::fromUtf8(kTextCaption)}, {m_hex, QString::fromUtf8(kHexCaption)}});
      ShowZipListing(content, length);
      return;
    case PreviewKind::Hex:
      break;
  }
  const TextPreview text = DecodeTextPreview(ByteSpan(content, length));
  if (text.encoding == TextEncoding::None) {
    ShowPages({{m_hex, QString::fromUtf8(kHexCaption)}});
    return;
  }
  m_text->setPlainText(FromUtf8(text.text));
  m_text->setToolTip(QString::fromUtf8(TextEncodingName(text.encoding)));
  ShowPages({{m_text, QString::fromUtf8(kTextCaption)}, {m_hex, QString::fromUtf8(kHexCaption)}});
}

void CQenloDlg::ShowPicture(const uint8_t* content, uint32_t length) {
  // Decoded in memory: a preview writes nothing anywhere, least of all on the drive being recovered.
  QImage picture;
  picture.loadFromData(content, static_cast<int>(std::min<uint32_t>(length, INT32_MAX)));
  m_picture->SetPicture(picture);
  ShowPages({{m_picture, QString::fromUtf8("图片预览")}, {m_hex, QString::fromUtf8(kHexCaption)}});
}

void CQenloDlg::ShowZipListing(const uint8_t* content, uint32_t length) {
  QString listing = FromUtf8(ZipListingText(ByteSpan(content, length)));
  listing.replace("\r\n", "\n");
  m_text->setPlainText(listing);
  m_text->setToolTip(QString());
}

void CQenloDlg::TellRecoveryEnded() {
  const QString text = FromUtf8(RecoverySummaryText(m_lastReport));
  const bool canOpen = !m_lastReport.rootPath.empty() && (m_lastReport.written != 0 || m_lastReport.failed != 0);
  if (!canOpen) {
    ShowMessageBox(this, text);
    return;
  }
  if (!ShowMessageBoxWithButton(this, text, QString::fromUtf8("打开文件夹"))) return;
  const QString folder = FromUtf8(m_lastReport.rootPath);
  if (!openFolder(folder)) {
    ShowMessageBox(this, QString::fromUtf8("没有可以打开文件夹的程序。恢复的文件在:\n") + QDir::toNativeSeparators(folder));
  }
}

void CQenloDlg::OnStartRecovery() {
  // Nothing to do is said before the user is sent to choose a folder.
  if (CRecovery::CheckedFileCount(m_model) == 0) {
    ShowMessageBox(this, QString::fromUtf8("没有选中要恢复的文件。\n请先在左边的文件夹或右边的文件列表中勾选要恢复的文件。"));
    return;
  }
  const QString folder = chooseFolder(this, m_lastTarget.isEmpty() ? QDir::homePath() : m_lastTarget);
  if (folder.isEmpty()) return;
  m_lastTarget = folder;
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
  if (m_lastReport.written != 0) m_recoveredAny = true;
  if (!m_lastReport.refused && !m_lastReport.nothingChecked && !m_lastReport.cancelled && !m_lastReport.stopped) {
    m_recoveredChecked = true;
  }
  TellRecoveryEnded();
}

void CQenloDlg::OnRecoverThisFile() {
  const int row = CurrentRow();
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
  } else if (m_lastReport.failed != 0 || m_lastReport.files.empty()) {
    // A file that could not be written in full must not pass for recovered.
    ShowMessageBox(this, QString::fromUtf8("恢复失败: ") +
                             FromUtf8(m_lastReport.failures.empty() ? std::string() : m_lastReport.failures.front()));
  } else {
    m_recoveredAny = true;
    ShowMessageBox(this, QString::fromUtf8("已恢复到: ") + FromUtf8(m_lastReport.files.front().path));
  }
}

bool CQenloDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_list && event->type() == QEvent::Resize && m_emptyList != nullptr) {
    QTimer::singleShot(0, this, [this] { PlaceEmptyListText(); });
  }
  if (watched == m_list && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
      const QModelIndex current = m_list->currentIndex();
      if (current.isValid()) OpenListMenu(m_list->viewport()->mapToGlobal(m_list->visualRect(current).center()));
      return true;
    }
  }
  return CResizeDialog::eventFilter(watched, event);
}

void CQenloDlg::SetFolderChecked(CTreeNode* node, bool checked) {
  m_model.SetNodeChecked(node, checked);
  SyncChecks();
}

void CQenloDlg::OpenListMenu(const QPoint& at) {
  QMenu menu(this);
  QAction* recover = menu.addAction(QString::fromUtf8("恢复此文件"));
  connect(recover, &QAction::triggered, this, [this] { OnRecoverThisFile(); });
  menu.exec(at);
}

void CQenloDlg::OnFindFiles() {
  CFindDlg find(*this);
  find.exec();
}

void CQenloDlg::FindAndList(const QString& text) {
  const size_t count = m_model.FindFiles(text.toStdString());
  if (count == 0) {
    // The list the user had stays: an empty one would only hide it.
    ShowMessageBox(this, QString::fromUtf8("没有找到文件"));
    return;
  }
  FillList();
}

QString CQenloDlg::NothingFoundText() const { return FromUtf8(m_model.NothingFoundText()); }

// Before anything was recovered; or while checked files wait for a
// recovery of them to run to its end, whatever was saved one by one.
bool CQenloDlg::HasUnrecoveredFiles() const {
  if (!NothingFoundText().isEmpty()) return false;
  if (CRecovery::CheckedFileCount(m_model) != 0) return !m_recoveredChecked;
  return !m_recoveredAny;
}

void CQenloDlg::reject() {
  if (HasUnrecoveredFiles() &&
      !AskYesNo(this, QString::fromUtf8("找到的文件还没有恢复。\n确定要退出吗? 退出后需要重新扫描才能恢复这些文件。"))) {
    return;
  }
  CResizeDialog::reject();
}

void CQenloDlg::showEvent(QShowEvent* event) {
  CResizeDialog::showEvent(event);
  if (m_toldNothingFound) return;
  m_toldNothingFound = true;
  const QString nothing = NothingFoundText();
  // After the window is up, so the user sees what the message is about; the
  // user may go back and choose another mode or drive.
  if (nothing.isEmpty()) return;
  QTimer::singleShot(0, this, [this, nothing] {
    if (!ShowMessageBoxWithButton(this, nothing, QString::fromUtf8("重新选择"), QString::fromUtf8("确定"))) return;
    m_startOver = true;
    reject();
  });
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

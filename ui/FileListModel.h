#pragma once
// The file list as a Qt item model over the results model's rows: the view
// asks only for the rows in sight, so a folder of 100,000 files lists,
// scrolls and checks at once.

#include <QAbstractTableModel>
#include <QIcon>
#include <functional>
#include <vector>

#include "app/ResultsModel.h"

enum FileListColumn : int {
  kNameColumn,
  kSizeColumn,
  kTimeColumn,
  kTypeColumn,
  kConditionColumn,
  kFolderColumn,
  kFileListColumns
};

class CFileListModel : public QAbstractTableModel {
 public:
  CFileListModel(CResultsModel& model, std::vector<QIcon> icons, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // The results model's rows changed as a whole (another node, a search).
  void Reset();
  // Check boxes or conditions changed: the rows in sight are drawn again.
  void RowsChanged(int firstColumn = kNameColumn, int lastColumn = kFileListColumns - 1);

  // Told when the user ticks or clears a row's box, after the results model has it.
  std::function<void()> onChecksChanged;

  static RowSort SortOfColumn(int column);

 private:
  CResultsModel& m_model;
  std::vector<QIcon> m_icons;
};

#include "ui/FileListModel.h"

#include <QColor>

#include "app/FileRows.h"

namespace {
QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

CFileListModel::CFileListModel(CResultsModel& model, std::vector<QIcon> icons, QObject* parent)
    : QAbstractTableModel(parent), m_model(model), m_icons(std::move(icons)) {}

int CFileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(std::min<size_t>(m_model.Rows().size(), INT32_MAX));
}

int CFileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kFileListColumns; }

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeadings[] = {"文件名", "大小", "时间", "类型", "状态", "所在文件夹"};
  return section >= 0 && section < kFileListColumns ? QString::fromUtf8(kHeadings[section]) : QVariant();
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= m_model.Rows().size()) return {};
  const FileRow& row = m_model.Rows()[static_cast<size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case kNameColumn: return FromUtf8(row.name);
        case kSizeColumn: return FromUtf8(row.sizeText);
        case kTimeColumn: return FromUtf8(row.timeText);
        case kTypeColumn: return FromUtf8(TypeOfName(row.name));
        case kConditionColumn: return FromUtf8(ConditionCaption(m_model.Conditions().OfRow(row)));
        case kFolderColumn: return FromUtf8(row.folder);
        default: return {};
      }
    case Qt::DecorationRole:
      if (column != kNameColumn || m_icons.empty()) return {};
      return m_icons[static_cast<size_t>(row.image) < m_icons.size() ? static_cast<size_t>(row.image) : 0];
    case Qt::CheckStateRole:
      if (column != kNameColumn) return {};
      return row.checked ? Qt::Checked : Qt::Unchecked;
    case Qt::ForegroundRole:
      if (column != kConditionColumn) return {};
      return QColor(QRgb(ConditionColour(m_model.Conditions().OfRow(row))));
    case Qt::ToolTipRole:
      if (column == kConditionColumn) return FromUtf8(m_model.Conditions().WhyOfRow(row));
      if (column == kNameColumn || column == kFolderColumn) return data(index, Qt::DisplayRole);
      return {};
    case Qt::TextAlignmentRole:
      if (column == kSizeColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == kNameColumn) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool CFileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != kNameColumn) return false;
  const size_t row = static_cast<size_t>(index.row());
  if (row >= m_model.Rows().size()) return false;
  const bool wanted = value.toInt() == Qt::Checked;
  if (wanted == m_model.Rows()[row].checked) return true;
  m_model.ClickRowCheckBox(row);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  if (onChecksChanged) onChecksChanged();
  return true;
}

RowSort CFileListModel::SortOfColumn(int column) {
  static constexpr RowSort kKeys[] = {RowSort::Name, RowSort::Size, RowSort::Time,
                                      RowSort::Type, RowSort::Condition, RowSort::Folder};
  return column >= 0 && column < kFileListColumns ? kKeys[column] : RowSort::None;
}

void CFileListModel::sort(int column, Qt::SortOrder order) {
  const RowSort key = SortOfColumn(column);
  if (key == RowSort::None) return;
  // Rows move as a whole; nothing in the view may keep pointing at an old place.
  beginResetModel();
  m_model.SortRows(key, order == Qt::AscendingOrder);
  endResetModel();
}

void CFileListModel::Reset() {
  beginResetModel();
  endResetModel();
}

void CFileListModel::RowsChanged(int firstColumn, int lastColumn) {
  if (m_model.Rows().empty()) return;
  emit dataChanged(index(0, firstColumn), index(rowCount() - 1, lastColumn));
}

#include "pages/startup_model.h"

#include "look.h"

namespace frambul::ui {

TStartupModel::TStartupModel(startup::StartupList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), pictures_{StartUpImage(0), StartUpImage(1)} {}

void TStartupModel::Reset() {
  beginResetModel();
  rows_ = list_.size();
  endResetModel();
}

void TStartupModel::Apply(const startup::RowChange& change) {
  using Kind = startup::RowChange::Kind;
  switch (change.kind) {
    case Kind::None: break;
    case Kind::Changed: emit dataChanged(index(change.row, 0), index(change.row, columnCount() - 1)); break;
    case Kind::Removed:
      beginRemoveRows({}, change.row, change.row);
      --rows_;
      endRemoveRows();
      break;
    case Kind::Appended:
      beginInsertRows({}, change.row, change.row);
      ++rows_;
      endInsertRows();
      break;
  }
}

int TStartupModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TStartupModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant TStartupModel::data(const QModelIndex& index, int role) const {
  const startup::StartupEntry* entry = list_.At(index.row());
  if (entry == nullptr) return {};
  auto text = [](std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); };
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      switch (index.column()) {
        case 0: return text(entry->Name);
        case 1: return text(entry->State());
        case 2: return text(startup::SourceText(entry->Source));
        default: return {};
      }
    case Qt::DecorationRole:
      if (index.column() == 0) return pictures_[entry->Picture()];
      return {};
    case Qt::UserRole: return text(entry->CommandLine);
    default: return {};
  }
}

QVariant TStartupModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0: return QStringLiteral("Программа");
    case 1: return QStringLiteral("Запуск");
    case 2: return QStringLiteral("Место");
    default: return {};
  }
}

Qt::ItemFlags TStartupModel::flags(const QModelIndex& index) const {
  if (list_.At(index.row()) == nullptr) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  // StartUpLvwEditing: only a registry entry's name is its own.
  if (index.column() == 0 && list_.CanRename(index.row())) flags |= Qt::ItemIsEditable;
  return flags;
}

bool TStartupModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 0 || !list_.CanRename(index.row())) return false;
  Apply(list_.Rename(index.row(), value.toString().toStdString()));
  return true;
}

}  // namespace frambul::ui

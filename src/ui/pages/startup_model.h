#pragma once

#include <QAbstractTableModel>
#include <QPixmap>

#include "startup/startup_list.h"

namespace frambul::ui {

// The startup list as the list view shows it: the name with its picture, the
// state and the source; the command line under Qt::UserRole. The model does
// not read the list again after an operation: `Apply` tells the view which
// row the operation changed, so that the selection, an open editor and the
// scroll position stay as they are.
class TStartupModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  TStartupModel(startup::StartupList& list, QObject* parent);

  // Takes the list as the load left it.
  void Reset();
  // Tells the view what an operation did to the list.
  void Apply(const startup::RowChange& change);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Names of registry entries alone can be edited in place.
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The accepted text of an in-place edit becomes the entry's name.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  startup::StartupList& list_;
  int rows_ = 0;  // the rows the view knows of, until it is told of a change
  QPixmap pictures_[2];
};

}  // namespace frambul::ui

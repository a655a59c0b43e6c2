// A grid over an in-memory dataset, with fixed font metrics, for the grid
// model's tests.  The dataset has the columns
//   NAME (string 20), PAY (float), N (integer), FLAG (string 1), OK (boolean)
// and the rows the test adds; the grid's data source is linked once the
// dataset is open (Link()).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "MemDataSet.h"
#include "grid/DBGridEx.h"
#include "platform/data/DataSource.h"
#include "platform/data/Fields.h"
#include "platform/ui/FontMetrics.h"
#include "platform/ui/Forms.h"

#include <QImage>
#include <string>

// Creates the (offscreen) Qt application once.
void EnsureGridTestApp();

// A persistent string field of size bytes in ds (closed).
TStringField* AddStringField(TDataSet* ds, const char* name, int size);
// A persistent lookup field: ds's keyField looked up as lookup's CODE,
// giving lookup's DNAME (the departments of the grid tests).
TStringField* AddDeptNameLookup(TDataSet* ds, const char* name, int size, TDataSet* lookup,
                                const char* keyField);

class GridFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the dataset and links the grid to it.
  void Link();
  // A stored column on fieldName.
  TColumnEx* AddColumn(const AnsiString& fieldName);
  // Moves to the record with 0-based position row.
  void GoTo(int row);

  TFixedFontMetrics metrics_{TTextMetric{16, 13, 3, 3, 0, 7, 14, 0}};
  std::unique_ptr<TMemDataSet> ds;
  std::unique_ptr<TDataSource> source;
  TDBGridEx* grid = nullptr;
};

// A grid on a shown borderless form, for layout, record-following and
// painting tests: the grid fills width x height of the form.
class GridOnFormFixture : public GridFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Places the grid at (0, 0) with the given size (the form grows to hold it).
  void Place(int width, int height);
  // Rows 0..n-1: NAME "name<i>", PAY i * 10.5, N i, FLAG "Y"/"N", OK i odd.
  void AddRows(int n);
  // The grid's window as painted now (pending paints run first).
  QImage Shot();
  TForm* form = nullptr;
};

// Pixels in r (clipped to the image) whose colour is c / is not c.
int CountColor(const QImage& img, const TRect& r, TColor c);
int CountNotColor(const QImage& img, const TRect& r, TColor c);
// The leftmost x in r holding a pixel of colour c, -1 when none.
int LeftmostOf(const QImage& img, const TRect& r, TColor c);
// Saves img as <name>.png in PAYROLL_SHOT_DIR when that names a folder.
void SaveGridShot(const QImage& img, const std::string& name);

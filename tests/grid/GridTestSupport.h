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

// Creates the (offscreen) Qt application once.
void EnsureGridTestApp();

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

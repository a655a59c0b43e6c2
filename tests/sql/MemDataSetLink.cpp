// The in-memory dataset of the dataset-interface tests, shared as support
// for the expression tests over a dataset's current row.
#include "tests/data/MemDataSet.cpp"

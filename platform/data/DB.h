// The whole dataset interface in one include, for code that uses most of it
// (the grid, the report datasets, the exporter, the application).  Layers
// that need one part include that header instead.
#pragma once

#include "platform/data/BlobStream.h"
#include "platform/data/DBConsts.h"
#include "platform/data/DBErrors.h"
#include "platform/data/DBTypes.h"
#include "platform/data/DataSource.h"
#include "platform/data/Dataset.h"
#include "platform/data/DatasetEvents.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Fields.h"
#include "platform/data/Params.h"

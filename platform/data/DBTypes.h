// DBTypes: the enumerations and small types shared by every part of the
// dataset interface (datasets, fields, field and index definitions, data
// sources and links).  Ordinals are the class library's: field types are
// stored by ordinal in table definitions and form files, so never reorder.
// Calls nothing; platform/core only.
#pragma once

#include <cstdint>

#include "platform/core/AnsiString.h"
#include "platform/core/Sets.h"
#include "platform/core/TypInfo.h"
#include "platform/core/TypInfo.h"

// Field types.  The engine stores ftString .. ftFmtMemo except ftBCD,
// ftBytes and ftVarBytes; the remaining names exist so that definitions,
// messages and type tests can name the types the engine refuses.
enum TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
  ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo,
  ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar,
  ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob,
  ftVariant, ftInterface, ftIDispatch, ftGuid
};
constexpr int kFieldTypeCount = ftGuid + 1;
// Field types stream by name ("DataType = ftInteger") in stored definitions.
PAYROLL_ENUM_NAMES(TFieldType, ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean,
                   ftFloat, ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes,
                   ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
                   ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
                   ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
                   ftInterface, ftIDispatch, ftGuid)

// The class library's name of a field type ("String", "SmallInt", "BCD",
// ...), as used in error messages; "Unknown" for an ordinal out of range.
AnsiString FieldTypeName(TFieldType type);
// True for ftBlob .. ftTypedBinary and the two Oracle blob types.
bool IsBlobType(TFieldType type);

// Dataset states.  Transitions (TDataSet keeps them):
//   dsInactive --Open--> dsBrowse --Close--> dsInactive
//   dsBrowse --Edit--> dsEdit --Post/Cancel--> dsBrowse
//   dsBrowse --Insert/Append--> dsInsert --Post/Cancel--> dsBrowse
//   dsBrowse --SetKey (descendants)--> dsSetKey --Post/Cancel--> dsBrowse
// The others are temporary states entered with SetTempState and left with
// RestoreState while one record buffer is being computed or filtered.
enum TDataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
  dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

// Notifications a dataset sends to its data sources and their links.  The
// Info that travels with them (see TDataSet::DataEvent):
//   deFieldChange      the TField* that changed
//   deRecordChange     0 (the whole record) or a TField*
//   deDataSetScroll    the distance the buffer window moved
//   deUpdateState      the prior state (for data sources)
//   deFocusControl     a TField** the receiver clears when it took the focus
//   others             0
enum TDataEvent {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
  deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
  deFocusControl, deParentScroll, deConnectChange, deReconcileError, deDisabledStateChange
};

// What GetRecord is asked for, and what it answers.
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

// Resync: rmExact - the current record must still exist (else "Record not
// found"); rmCenter - place it in the middle of the buffer window.
enum TResyncModeItem { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem, 2>;

// Flag kept in each record buffer: a real record, the crack before the
// first or after the last record (inserts at the ends), or a new record.
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption, 2>;

enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
PAYROLL_ENUM_NAMES(TFilterOption, foCaseInsensitive, foNoPartialCompare)
using TFilterOptions = TSet<TFilterOption, 2>;

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };
PAYROLL_ENUM_NAMES(TFieldKind, fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate)

// What an OnPostError/OnEditError/OnDeleteError handler decides.
enum TDataAction { daFail, daAbort, daRetry };

// Also defined, under the same guard, by platform/ui/Controls.h: whichever
// comes first defines it (with its published names).
#ifndef PAYROLL_TALIGNMENT_DEFINED
#define PAYROLL_TALIGNMENT_DEFINED
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
PAYROLL_ENUM_NAMES(TAlignment, taLeftJustify, taRightJustify, taCenter)
#endif

// A record buffer: raw bytes owned by the dataset that allocated it
// (AllocRecordBuffer / FreeRecordBuffer).  Its layout is the dataset's.
using TRecordBuffer = char*;

// A bookmark: BookmarkSize bytes from GetBookmark, owned by the caller and
// released with FreeBookmark.  nullptr means "no bookmark".
using TBookmark = char*;
// The Bookmark property's form: the same bytes held in a string.
using TBookmarkStr = AnsiString;

// The published properties of the dataset interface's components: what a
// form's text declares for a dataset, a data source and persistent fields.
#include "platform/data/DataSource.h"
#include "platform/data/FieldDefs.h"
#include "platform/data/Dataset.h"
#include "platform/data/Fields.h"
#include "platform/data/Params.h"

PAYROLL_PUBLISH(TDataSet) {
  p.Property("Active", &TDataSet::Active, &TDataSet::SetActive).Default(false);
  p.Property("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields)
      .Default(true);
  p.Property("Filter", &TDataSet::Filter, &TDataSet::SetFilter);
  p.Property("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered).Default(false);
  p.Property("FilterOptions", &TDataSet::FilterOptions, &TDataSet::SetFilterOptions)
      .Default(TFilterOptions());
  p.Event("BeforeOpen", &TDataSet::BeforeOpen);
  p.Event("AfterOpen", &TDataSet::AfterOpen);
  p.Event("BeforeClose", &TDataSet::BeforeClose);
  p.Event("AfterClose", &TDataSet::AfterClose);
  p.Event("BeforeInsert", &TDataSet::BeforeInsert);
  p.Event("AfterInsert", &TDataSet::AfterInsert);
  p.Event("BeforeEdit", &TDataSet::BeforeEdit);
  p.Event("AfterEdit", &TDataSet::AfterEdit);
  p.Event("BeforePost", &TDataSet::BeforePost);
  p.Event("AfterPost", &TDataSet::AfterPost);
  p.Event("BeforeCancel", &TDataSet::BeforeCancel);
  p.Event("AfterCancel", &TDataSet::AfterCancel);
  p.Event("BeforeDelete", &TDataSet::BeforeDelete);
  p.Event("AfterDelete", &TDataSet::AfterDelete);
  p.Event("BeforeScroll", &TDataSet::BeforeScroll);
  p.Event("AfterScroll", &TDataSet::AfterScroll);
  p.Event("OnCalcFields", &TDataSet::OnCalcFields);
  p.Event("OnNewRecord", &TDataSet::OnNewRecord);
  p.Event("OnPostError", &TDataSet::OnPostError);
  p.Event("OnEditError", &TDataSet::OnEditError);
  p.Event("OnDeleteError", &TDataSet::OnDeleteError);
}

PAYROLL_PUBLISH(TDataSource) {
  p.Property("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit).Default(true);
  p.Property("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet);
  p.Property("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled).Default(true);
  p.Event("OnStateChange", &TDataSource::OnStateChange);
  p.Event("OnDataChange", &TDataSource::OnDataChange);
  p.Event("OnUpdateData", &TDataSource::OnUpdateData);
}

PAYROLL_PUBLISH(TField) {
  p.Property("Alignment", &TField::Alignment, &TField::SetAlignment);
  p.Property("DefaultExpression", &TField::DefaultExpression, &TField::SetDefaultExpression);
  p.Property("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel);
  p.Property("DisplayWidth", &TField::DisplayWidth, &TField::SetDisplayWidth);
  p.Property("EditMask", &TField::EditMask, &TField::SetEditMask);
  p.Property("FieldKind", &TField::FieldKind, &TField::SetFieldKind).Default(fkData);
  p.Property("FieldName", &TField::FieldName, &TField::SetFieldName);
  p.Property("KeyFields", &TField::KeyFields, &TField::SetKeyFields);
  p.Property("LookupDataSet", &TField::LookupDataSet, &TField::SetLookupDataSet);
  p.Property("LookupKeyFields", &TField::LookupKeyFields, &TField::SetLookupKeyFields);
  p.Property("LookupResultField", &TField::LookupResultField, &TField::SetLookupResultField);
  p.Property("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly).Default(false);
  p.Property("Required", &TField::Required, &TField::SetRequired).Default(false);
  p.Property("Visible", &TField::Visible, &TField::SetVisible).Default(true);
  p.Event("OnChange", &TField::OnChange);
  p.Event("OnGetText", &TField::OnGetText);
  p.Event("OnSetText", &TField::OnSetText);
  p.Event("OnValidate", &TField::OnValidate);
}

PAYROLL_PUBLISH(TStringField) {
  p.Property("Size", &TStringField::Size, &TStringField::SetSize).Default(20);
}

PAYROLL_PUBLISH(TNumericField) {
  p.Property("DisplayFormat", &TNumericField::DisplayFormat, &TNumericField::SetDisplayFormat);
  p.Property("EditFormat", &TNumericField::EditFormat, &TNumericField::SetEditFormat);
}

PAYROLL_PUBLISH(TIntegerField) {
  p.Property("MaxValue", &TIntegerField::MaxValue, &TIntegerField::SetMaxValue).Default(0);
  p.Property("MinValue", &TIntegerField::MinValue, &TIntegerField::SetMinValue).Default(0);
}

PAYROLL_PUBLISH(TSmallintField) {}
PAYROLL_PUBLISH(TWordField) {}
PAYROLL_PUBLISH(TAutoIncField) {}

PAYROLL_PUBLISH(TFloatField) {
  p.Property("Currency", &TFloatField::Currency, &TFloatField::SetCurrency).Default(false);
  p.Property("MaxValue", &TFloatField::MaxValue, &TFloatField::SetMaxValue);
  p.Property("MinValue", &TFloatField::MinValue, &TFloatField::SetMinValue);
  p.Property("Precision", &TFloatField::Precision, &TFloatField::SetPrecision).Default(15);
}

PAYROLL_PUBLISH(TCurrencyField) {}

PAYROLL_PUBLISH(TBooleanField) {
  p.Property("DisplayValues", &TBooleanField::DisplayValues, &TBooleanField::SetDisplayValues);
}

PAYROLL_PUBLISH(TDateTimeField) {
  p.Property("DisplayFormat", &TDateTimeField::DisplayFormat, &TDateTimeField::SetDisplayFormat);
}

PAYROLL_PUBLISH(TDateField) {}
PAYROLL_PUBLISH(TTimeField) {}
PAYROLL_PUBLISH(TBlobField) {
  p.Property("Size", &TBlobField::Size, &TBlobField::SetSize).Default(0);
}
PAYROLL_PUBLISH(TMemoField) {}
PAYROLL_PUBLISH(TGraphicField) {}

PAYROLL_PUBLISH(TFieldDef) {
  p.Property("Name", &TFieldDef::Name, &TFieldDef::SetName);
  p.Property("Attributes", &TFieldDef::Attributes, &TFieldDef::SetAttributes)
      .Default(TFieldAttributes());
  p.Property("DataType", &TFieldDef::DataType, &TFieldDef::SetDataType).Default(ftUnknown);
  p.Property("Precision", &TFieldDef::Precision, &TFieldDef::SetPrecision).Default(0);
  p.Property("Size", &TFieldDef::Size, &TFieldDef::SetSize).Default(0);
}

PAYROLL_PUBLISH(TFieldDefs) {}

PAYROLL_PUBLISH(TIndexDef) {
  p.Property("Name", &TIndexDef::Name, &TIndexDef::SetName);
  p.Property("CaseInsFields", &TIndexDef::CaseInsFields, &TIndexDef::SetCaseInsFields);
  p.Property("DescFields", &TIndexDef::DescFields, &TIndexDef::SetDescFields);
  p.Property("Expression", &TIndexDef::Expression, &TIndexDef::SetExpression);
  p.Property("Fields", &TIndexDef::Fields, &TIndexDef::SetFields);
  p.Property("Options", &TIndexDef::Options, &TIndexDef::SetOptions).Default(TIndexOptions());
  p.Property("Source", &TIndexDef::Source, &TIndexDef::SetSource);
}

PAYROLL_PUBLISH(TIndexDefs) {}

PAYROLL_PUBLISH(TParam) {
  p.Property("DataType", &TParam::DataType, &TParam::SetDataType).Default(ftUnknown);
  p.Property("Name", &TParam::Name, &TParam::SetName);
  p.Property("ParamType", &TParam::ParamType, &TParam::SetParamType).Default(ptUnknown);
  p.Property("Value", &TParam::Value, &TParam::SetValue);
}

PAYROLL_PUBLISH(TParams) {}

object frmRptPaper: TfrmRptPaper
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = '报表页面设置'
  ClientWidth = 560
  ClientHeight = 320
  Position = poScreenCenter
end

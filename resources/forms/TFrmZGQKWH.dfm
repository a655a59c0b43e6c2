object FrmZGQKWH: TFrmZGQKWH
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = '职工情况维护'
  ClientWidth = 400
  ClientHeight = 300
  Position = poScreenCenter
end

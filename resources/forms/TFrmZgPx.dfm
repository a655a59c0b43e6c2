object FrmZgPx: TFrmZgPx
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = '÷∞π§≈≈–Ú'
  ClientWidth = 420
  ClientHeight = 360
  Position = poScreenCenter
end

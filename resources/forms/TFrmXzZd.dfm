object FrmXzZd: TFrmXzZd
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = 'Ñ¡Ôñ×Ö¶Î'
  ClientWidth = 260
  ClientHeight = 360
  Position = poScreenCenter
  object ListView1: TListView
    Left = 0
    Top = 0
    Width = 260
    Height = 320
    Align = alTop
    TabOrder = 0
  end
end

object FrmZgXz: TFrmZgXz
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = 'Ö°¹¤Ñ¡Ôñ'
  ClientWidth = 420
  ClientHeight = 360
  Position = poScreenCenter
end

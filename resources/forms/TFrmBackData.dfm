object FrmBackData: TFrmBackData
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = '数据备份/恢复'
  ClientWidth = 400
  ClientHeight = 260
  Position = poScreenCenter
end

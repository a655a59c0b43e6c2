object FrmAbout: TFrmAbout
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = '关于...'
  ClientWidth = 340
  ClientHeight = 200
  Position = poScreenCenter
  object LblProduct: TLabel
    Left = 24
    Top = 24
    Caption = 'Velmor工资管理软件'
  end
  object LblVersion: TLabel
    Left = 24
    Top = 56
    Caption = 'V3.11.19'
  end
  object LblDwMc: TLabel
    Left = 24
    Top = 88
    Caption = ''
  end
  object Label3: TLabel
    Left = 24
    Top = 120
    Cursor = crHandPoint
    Caption = 'https://velmor.example/'
    Font.Color = clBlue
    Font.Style = [fsUnderline]
    ParentFont = False
  end
end

object FrmSplash: TFrmSplash
  Left = 0
  Top = 0
  BorderStyle = bsNone
  ClientWidth = 299
  ClientHeight = 210
  Color = 8388608
  Position = poScreenCenter
  object Image1: TImage
    Left = 0
    Top = 0
    Width = 299
    Height = 210
    Align = alClient
    Stretch = True
    OnClick = Image1Click
  end
  object LblTitle: TLabel
    Left = 24
    Top = 60
    Caption = 'Velmor工资软件'
    Font.Color = 16777215
    Font.Height = -24
    Font.Name = '黑体'
    Transparent = True
  end
  object Label1: TLabel
    Left = 24
    Top = 176
    Caption = '正在装载系统，请稍候...'
    Font.Color = 12632256
    Transparent = True
  end
end

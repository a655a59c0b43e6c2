object FrmPopWin: TFrmPopWin
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = 'FrmPopWin'
  Width = 499
  Height = 354
  Position = poScreenCenter
  object Panel1: TPanel
    Left = 0
    Top = 0
    Width = 493
    Height = 50
    Align = alTop
    BevelOuter = bvNone
    Color = clWhite
    ParentColor = False
    object Image1: TImage
      Left = 0
      Top = 0
      Width = 493
      Height = 50
      Align = alClient
      Stretch = True
    end
    object Label1: TLabel
      Left = 0
      Top = 0
      Width = 493
      Height = 50
      Align = alClient
      Alignment = taCenter
      AutoSize = False
      Caption = 'Label1'
      Font.Color = clNavy
      Font.Height = -19
      Font.Name = 'ËÎÌו'
      Font.Style = [fsBold]
      Layout = tlCenter
      ParentFont = False
      Transparent = True
    end
  end
  object XPStyler1: TXPStyler
    Active = True
  end
end

object FrmLogin: TFrmLogin
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsSingle
  Caption = '系统登录'
  ClientWidth = 301
  ClientHeight = 176
  KeyPreview = True
  Position = poScreenCenter
  OnActivate = FormActivate
  OnClose = FormClose
  OnKeyDown = FormKeyDown
  OnKeyPress = FormKeyPress
  object Bevel1: TBevel
    Left = 12
    Top = 12
    Width = 277
    Height = 104
    Shape = bsFrame
  end
  object Label1: TLabel
    Left = 40
    Top = 38
    Caption = '用户代码:'
  end
  object Label2: TLabel
    Left = 40
    Top = 78
    Caption = '用户密码:'
  end
  object EditUserDm: TEdit
    Left = 112
    Top = 34
    Width = 145
    Height = 21
    CharCase = ecUpperCase
    MaxLength = 12
    TabOrder = 0
  end
  object EditUserPass: TEdit
    Left = 112
    Top = 74
    Width = 145
    Height = 21
    MaxLength = 12
    PasswordChar = '*'
    TabOrder = 1
  end
  object BitBtnLogin: TBitBtn
    Left = 60
    Top = 132
    Width = 80
    Height = 28
    Caption = '确 定'
    Default = True
    TabOrder = 2
    OnClick = BitBtnLoginClick
  end
  object BitBtnCancel: TBitBtn
    Left = 162
    Top = 132
    Width = 80
    Height = 28
    Caption = '取 消'
    Cancel = True
    TabOrder = 3
    OnClick = BitBtnCancelClick
  end
end

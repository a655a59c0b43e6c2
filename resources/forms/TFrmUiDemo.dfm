object FrmUiDemo: TFrmUiDemo
  Left = 0
  Top = 0
  BorderStyle = bsSingle
  BorderIcons = [biSystemMenu, biMinimize]
  Caption = 'Velmor工资软件 - 界面示例'
  ClientHeight = 360
  ClientWidth = 560
  KeyPreview = True
  Menu = MainMenu1
  Position = poScreenCenter
  OnKeyPress = FormKeyPress
  object PnlTitle: TPanel
    Left = 0
    Top = 0
    Width = 560
    Height = 40
    Align = alTop
    BevelOuter = bvNone
    Color = 16777215
    object LblTop: TLabel
      Left = 12
      Top = 12
      Caption = 'Velmor人力资源管理系统之__工资软件'
    end
  end
  object PanelBmXz: TPanel
    Left = 0
    Top = 40
    Width = 170
    Height = 320
    Align = alLeft
    BevelOuter = bvLowered
    object TreeViewBm: TTreeView
      Left = 1
      Top = 1
      Width = 168
      Height = 318
      Align = alClient
      TabOrder = 0
    end
  end
  object Notebook1: TNotebook
    Left = 170
    Top = 40
    Width = 390
    Height = 320
    Align = alClient
    PageIndex = 0
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsLogin'
      object GroupBox1: TGroupBox
        Left = 16
        Top = 12
        Width = 356
        Height = 170
        Caption = '系统登录'
        TabOrder = 0
        object Label1: TLabel
          Left = 24
          Top = 36
          Caption = '用户代码:'
        end
        object Label2: TLabel
          Left = 24
          Top = 72
          Caption = '用户密码:'
        end
        object EditUserDm: TEdit
          Left = 104
          Top = 32
          Width = 160
          Height = 21
          CharCase = ecUpperCase
          MaxLength = 12
          TabOrder = 0
        end
        object EditUserPass: TEdit
          Left = 104
          Top = 68
          Width = 160
          Height = 21
          MaxLength = 12
          PasswordChar = '*'
          TabOrder = 1
        end
        object BitBtnLogin: TBitBtn
          Left = 104
          Top = 116
          Width = 75
          Height = 25
          Caption = '确 定'
          TabOrder = 2
          OnClick = BitBtnLoginClick
        end
        object BitBtnCancel: TBitBtn
          Left = 190
          Top = 116
          Width = 75
          Height = 25
          Caption = '取 消'
          Cancel = True
          TabOrder = 3
        end
      end
      object CheckBox1: TCheckBox
        Left = 24
        Top = 196
        Width = 150
        Height = 17
        Caption = '记住用户代码'
        TabOrder = 1
      end
      object ComboBoxZgqk: TComboBox
        Left = 24
        Top = 224
        Width = 150
        Height = 21
        Style = csDropDownList
        TabOrder = 2
        Items.Strings = (
          '在职职工'
          '退休职工'
          '临时工')
        ItemIndex = 0
      end
      object ProgressBar1: TProgressBar
        Left = 24
        Top = 260
        Width = 340
        Height = 16
        Position = 40
      end
      object Bevel1: TBevel
        Left = 16
        Top = 188
        Width = 356
        Height = 2
        Shape = bsTopLine
      end
    end
  end
  object MainMenu1: TMainMenu
    object N1: TMenuItem
      Caption = '系统维护(&S)'
      object N14: TMenuItem
        Caption = '用户维护'
      end
      object N15: TMenuItem
        Caption = '-'
      end
      object MenuExit: TMenuItem
        Caption = '退出系统'
        OnClick = MenuExitClick
      end
    end
    object N2: TMenuItem
      Caption = '工资管理(&G)'
    end
    object N3: TMenuItem
      Caption = '帮助(&H)'
    end
  end
end

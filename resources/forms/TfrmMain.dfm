object frmMain: TfrmMain
  Left = 0
  Top = 0
  Caption = 'Velmor人力资源管理系统之__工资软件  V3.11.19'
  ClientWidth = 792
  ClientHeight = 534
  KeyPreview = True
  Menu = MainMenu1
  Position = poScreenCenter
  OnActivate = FormActivate
  OnCreate = FormCreate
  OnClose = FormClose
  OnKeyDown = FormKeyDown
  OnKeyPress = FormKeyPress
  object PnlTitle: TPanel
    Left = 0
    Top = 0
    Width = 792
    Height = 36
    Align = alTop
    BevelOuter = bvNone
    Color = 16777215
    object LblTop: TLabel
      Left = 12
      Top = 10
      Caption = ''
      Font.Color = 8388608
      Font.Height = -16
      Font.Name = '宋体'
    end
  end
  object PnlTools: TPanel
    Left = 0
    Top = 36
    Width = 792
    Height = 32
    Align = alTop
    BevelOuter = bvNone
  end
  object PanelBmXz: TPanel
    Left = 0
    Top = 68
    Width = 180
    Height = 444
    Align = alLeft
    BevelOuter = bvLowered
    object TreeViewBm: TTreeView
      Left = 1
      Top = 1
      Width = 178
      Height = 442
      Align = alClient
      TabOrder = 0
    end
  end
  object sbStatusBar: TsbStatusBar
    Left = 0
    Top = 512
    Width = 792
    Height = 22
    Align = alBottom
    Panels = <
      item
        PanelType = sptGlyph
        Glyph.Data = {
          07544269746D617036030000424D360300000000000036000000280000001000
          000010000000010018000000000000030000130B0000130B0000000000000000
          0000C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0
          C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0
          C0C0C0C00078A00078A00078A00078A0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0
          C0C0C0C0C0C0C0C0C0C0C0C0C0C00078A00078A00078A03CD2FA3CD2FA0078A0
          0078A00078A0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C00078A00078
          A03CD2FA3CD2FA005A8C005A8C3CD2FA3CD2FA0078A00078A0C0C0C0C0C0C0C0
          C0C0C0C0C0C0C0C00078A00078A03CD2FA3CD2FA3CD2FA005A8C005A8C3CD2FA
          3CD2FA3CD2FA0078A00078A0C0C0C0C0C0C0C0C0C0C0C0C00078A03CD2FA3CD2
          FA005A8C005A8C005A8C005A8C005A8C005A8C3CD2FA3CD2FA0078A0C0C0C0C0
          C0C0C0C0C00078A00078A03CD2FA3CD2FA3CD2FA3CD2FA005A8C005A8C3CD2FA
          3CD2FA3CD2FA3CD2FA0078A00078A0C0C0C0C0C0C00078A03CD2FA3CD2FA3CD2
          FA005A8C005A8C005A8C005A8C005A8C005A8C3CD2FA3CD2FA3CD2FA0078A0C0
          C0C0C0C0C00078A03CD2FA3CD2FA3CD2FA3CD2FA3CD2FA005A8C005A8C3CD2FA
          3CD2FA3CD2FA3CD2FA3CD2FA0078A0C0C0C0C0C0C00078A00078A03CD2FA3CD2
          FA3CD2FA3CD2FA005A8C005A8C3CD2FA3CD2FA3CD2FA3CD2FA0078A00078A0C0
          C0C0C0C0C0C0C0C00078A03CD2FA3CD2FA3CD2FA3CD2FA3CD2FA3CD2FA3CD2FA
          3CD2FA3CD2FA3CD2FA0078A0C0C0C0C0C0C0C0C0C0C0C0C00078A00078A03CD2
          FA3CD2FA3CD2FA3CD2FA3CD2FA3CD2FA3CD2FA3CD2FA0078A00078A0C0C0C0C0
          C0C0C0C0C0C0C0C0C0C0C00078A00078A03CD2FA3CD2FA3CD2FA3CD2FA3CD2FA
          3CD2FA0078A00078A0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C00078
          A00078A00078A03CD2FA3CD2FA0078A00078A00078A0C0C0C0C0C0C0C0C0C0C0
          C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C00078A00078A00078A00078A0
          C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0
          C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0
          C0C0}
        Width = 80
        AutoFit = True
      end
      item
        Width = 0
      end
      item
        Alignment = taCenter
        Width = 300
      end
      item
        Alignment = taCenter
        Text = '操作员'
        AutoFit = True
      end
      item
        Alignment = taCenter
        Width = 60
      end
      item
        PanelType = sptNumLock
        Text = ' NUM '
      end
      item
        PanelType = sptCapsLock
        Text = ' CAPS '
      end
      item
        PanelType = sptDateTime
        DateFormat = '  yyyy"年"mm"月"dd"日"'
        TimeFormat = '  hh"时"mm"分"ss"秒"'
        Width = 50
      end>
  end
  object Notebook1: TNotebook
    Left = 180
    Top = 68
    Width = 612
    Height = 444
    Align = alClient
    PageIndex = 10
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsZgXz'
      object LblZgQk: TLabel
        Left = 16
        Top = 16
        Caption = '职工情况:'
      end
      object DbCmbBoxZgQk: TDBComboBox
        Left = 84
        Top = 12
        Width = 150
        Height = 21
        TabOrder = 0
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsZgJs'
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsZgTx'
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsNbDd'
      object LblMbBm: TLabel
        Left = 16
        Top = 16
        Caption = '调入部门:'
      end
      object CmbBoxNbDdMbBm: TComboBox
        Left = 84
        Top = 12
        Width = 200
        Height = 21
        TabOrder = 0
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsGzXg'
      object PanelGzXg: TPanel
        Left = 8
        Top = 40
        Width = 600
        Height = 420
        BevelOuter = bvLowered
        TabOrder = 0
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsZgKq'
      object LblZgKq: TLabel
        Left = 16
        Top = 12
        Caption = '职工编号:'
      end
      object DBEditZGBH: TDBEdit
        Left = 84
        Top = 8
        Width = 120
        Height = 21
        ReadOnly = True
        TabOrder = 0
        OnChange = DBEditZGBHChange
      end
      object PanelZgKq: TPanel
        Left = 8
        Top = 40
        Width = 600
        Height = 420
        BevelOuter = bvLowered
        TabOrder = 1
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsGzDc'
      object LblGzHzbBm: TLabel
        Left = 16
        Top = 16
        Caption = ''
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsMmXg'
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsJsGs'
      object LblJgZd: TLabel
        Left = 16
        Top = 16
        Caption = '结果字段:'
      end
      object CmBBoxJgZd: TComboBox
        Left = 84
        Top = 12
        Width = 160
        Height = 21
        TabOrder = 0
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsJJ'
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'tbsStrat'
      object LblWelcome: TLabel
        Left = 180
        Top = 180
        Caption = 'Velmor人力资源管理系统之__工资软件'
        Font.Color = 8388608
        Font.Height = -24
        Font.Name = '黑体'
      end
      object LblWelcome2: TLabel
        Left = 300
        Top = 230
        Caption = '欢迎使用'
        Font.Color = 8421504
        Font.Height = -16
        Font.Name = '宋体'
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsBbDy'
      object LblZgQk1: TLabel
        Left = 16
        Top = 16
        Caption = '职工情况:'
      end
      object CmbBoxZGQK1: TComboBox
        Left = 84
        Top = 12
        Width = 150
        Height = 21
        TabOrder = 0
      end
    end
    object TPage
      Left = 0
      Top = 0
      Caption = 'TbsGwjx'
      object LblGwjx: TLabel
        Left = 16
        Top = 12
        Caption = '职工编号:'
      end
      object DBEdit4: TDBEdit
        Left = 84
        Top = 8
        Width = 120
        Height = 21
        ReadOnly = True
        TabOrder = 0
        OnChange = DBEditZGBHChange
      end
      object PanelGwjx: TPanel
        Left = 8
        Top = 40
        Width = 600
        Height = 420
        BevelOuter = bvLowered
        TabOrder = 1
      end
    end
  end
  object MainMenu1: TMainMenu
    object N1: TMenuItem
      Caption = '职工管理'
      object N10: TMenuItem
        Caption = '职工新增'
      end
      object N11: TMenuItem
        Caption = '职工减少'
      end
      object N12: TMenuItem
        Caption = '职工退休'
      end
      object N13: TMenuItem
        Caption = '内部调动'
      end
    end
    object N2: TMenuItem
      Caption = '考勤管理'
      object N58: TMenuItem
        Caption = '年度初始化'
      end
      object N14: TMenuItem
        Caption = '月初始化'
      end
      object Sep1: TMenuItem
        Caption = '-'
      end
      object N15: TMenuItem
        Caption = '职工考勤'
      end
    end
    object N3: TMenuItem
      Caption = '工资管理'
      object N16: TMenuItem
        Caption = '工资修改'
      end
      object N39: TMenuItem
        Caption = '汇总计算'
      end
      object N17: TMenuItem
        Caption = '职工工资单'
      end
      object N18: TMenuItem
        Caption = '工资入卡'
      end
      object Sep2: TMenuItem
        Caption = '-'
      end
      object N19: TMenuItem
        Caption = '工资导出'
      end
    end
    object N48: TMenuItem
      Caption = '绩效管理'
      object N60: TMenuItem
        Caption = '绩效工资月初始化'
      end
      object Sep3: TMenuItem
        Caption = '-'
      end
      object N49: TMenuItem
        Caption = '绩效考核'
      end
      object N51: TMenuItem
        Caption = '绩效工资单'
      end
      object N52: TMenuItem
        Caption = '绩效工资入卡'
      end
      object Sep4: TMenuItem
        Caption = '-'
      end
      object N53: TMenuItem
        Caption = '绩效工资导出'
      end
    end
    object N4: TMenuItem
      Caption = '奖金管理'
      object N21: TMenuItem
        Caption = '奖金初始化'
      end
      object N40: TMenuItem
        Caption = '奖金修改'
      end
      object N23: TMenuItem
        Caption = '奖金发放表'
      end
      object N22: TMenuItem
        Caption = '奖金入卡'
      end
      object Sep5: TMenuItem
        Caption = '-'
      end
      object N24: TMenuItem
        Caption = '奖金导出'
      end
    end
    object N5: TMenuItem
      Caption = '报表管理'
      object N25: TMenuItem
        Caption = '单位工资汇总表'
      end
      object N36: TMenuItem
        Caption = '单位绩效工资汇总表'
      end
      object N26: TMenuItem
        Caption = '部门工资汇总表'
      end
      object N55: TMenuItem
        Caption = '部门绩效工资汇总表'
      end
      object N27: TMenuItem
        Caption = '部门奖金汇总表'
      end
      object Sep6: TMenuItem
        Caption = '-'
      end
      object N41: TMenuItem
        Caption = '职工工资单'
      end
      object N54: TMenuItem
        Caption = '绩效工资单'
      end
      object N43: TMenuItem
        Caption = '职工退休补贴表'
      end
      object N45: TMenuItem
        Caption = '年薪人员工资单'
      end
      object N42: TMenuItem
        Caption = '奖金发放表'
      end
      object Sep7: TMenuItem
        Caption = '-'
      end
      object N57: TMenuItem
        Caption = '临时工工资单'
      end
      object N59: TMenuItem
        Caption = '临时工工资汇总表'
      end
    end
    object N6: TMenuItem
      Caption = '系统维护'
      object N28: TMenuItem
        Caption = '用户维护'
      end
      object N29: TMenuItem
        Caption = '密码维护'
      end
      object N30: TMenuItem
        Caption = '职工性质维护'
      end
      object N31: TMenuItem
        Caption = '部门维护'
      end
      object Sep8: TMenuItem
        Caption = '-'
      end
      object N34: TMenuItem
        Caption = '数据备份/恢复'
      end
      object Sep9: TMenuItem
        Caption = '-'
      end
      object N32: TMenuItem
        Caption = '计算公式维护'
      end
      object Sep10: TMenuItem
        Caption = '-'
      end
      object N47: TMenuItem
        Caption = '报表页面设置'
      end
    end
    object N8: TMenuItem
      Caption = '系统管理'
      object N37: TMenuItem
        Caption = '关于我们'
      end
      object Sep11: TMenuItem
        Caption = '-'
      end
      object MenuExit: TMenuItem
        Caption = '退出系统'
        OnClick = MenuExitClick
      end
    end
  end
end

inherited FrmZGQKWH: TFrmZGQKWH
  Caption = '职工情况维护'
  inherited Panel1: TPanel
    inherited Label1: TLabel
      Caption = '职工情况维护'
    end
  end
  object DBGrid2: TDBGrid
    Left = 8
    Top = 58
    Width = 477
    Height = 216
    Columns = <
      item
        FieldName = 'xh'
        Title.Caption = '序号'
        Width = 60
      end
      item
        FieldName = 'Zgqk'
        Title.Caption = '职工情况'
        Width = 160
      end
      item
        FieldName = 'CanKq'
        Title.Caption = '是否考勤'
        Width = 80
      end>
  end
  object SpeedButton3: TSpeedButton
    Left = 197
    Top = 284
    Width = 88
    Height = 28
    Caption = '增 加'
    OnClick = SpeedButton3Click
  end
  object SpeedButton4: TSpeedButton
    Left = 295
    Top = 284
    Width = 88
    Height = 28
    Caption = '删 除'
    OnClick = SpeedButton4Click
  end
  object SpeedButton1: TSpeedButton
    Left = 393
    Top = 284
    Width = 88
    Height = 28
    Caption = '关闭'
    OnClick = SpeedButton1Click
  end
end

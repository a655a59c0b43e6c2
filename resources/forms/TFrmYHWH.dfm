inherited FrmYHWH: TFrmYHWH
  Caption = '用户维护'
  inherited Panel1: TPanel
    inherited Label1: TLabel
      Caption = '用户维护'
    end
  end
  object DBGrid3: TDBGrid
    Left = 8
    Top = 58
    Width = 477
    Height = 216
    Columns = <
      item
        FieldName = 'UserDm'
        Title.Caption = '用户代码'
        Width = 140
      end
      item
        FieldName = 'UserName'
        Title.Caption = '用户姓名'
        Width = 200
      end>
  end
  object SpeedButton5: TSpeedButton
    Left = 197
    Top = 284
    Width = 88
    Height = 28
    Caption = '增 加'
    OnClick = SpeedButton5Click
  end
  object SpeedButton6: TSpeedButton
    Left = 295
    Top = 284
    Width = 88
    Height = 28
    Caption = '删 除'
    OnClick = SpeedButton6Click
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

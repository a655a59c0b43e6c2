inherited FrmBMWH: TFrmBMWH
  Caption = '部门维护'
  OnClose = FormClose
  inherited Panel1: TPanel
    inherited Label1: TLabel
      Caption = '部门维护'
    end
  end
  object DBGridEx1: TDBGridEx
    Left = 8
    Top = 58
    Width = 477
    Height = 216
    Columns = <
      item
        FieldName = 'bmbh'
        Title.Caption = '部门编号'
        Width = 120
      end
      item
        FieldName = 'bmmc'
        Title.Caption = '部门名称'
        Width = 220
      end>
  end
  object SptBtnBmWhSave: TSpeedButton
    Left = 99
    Top = 284
    Width = 88
    Height = 28
    Caption = '保 存'
    Enabled = False
    OnClick = SptBtnBmWhSaveClick
  end
  object SptBtnBmWhApp: TSpeedButton
    Left = 197
    Top = 284
    Width = 88
    Height = 28
    Caption = '增 加'
    OnClick = SptBtnBmWhAppClick
  end
  object SptBtnBmWhDel: TSpeedButton
    Left = 295
    Top = 284
    Width = 88
    Height = 28
    Caption = '删 除'
    OnClick = SptBtnBmWhDelClick
  end
  object BtnClose: TSpeedButton
    Left = 393
    Top = 284
    Width = 88
    Height = 28
    Caption = '关闭'
    OnClick = BtnCloseClick
  end
end
